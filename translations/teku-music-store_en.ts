<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB">
<context>
    <name></name>
    <message id="qtn_musi_vellora">
        <source>You might also like</source>
        <translation>You might also like</translation>
    </message>
    <message id="qtn_musi_vellora_artists">
        <source>Similar artists</source>
        <translation>Similar artists</translation>
    </message>
    <message id="qtn_musi_tekumusic_more">
        <source>More in Teku Music</source>
        <translation>More in Teku Music</translation>
    </message>
    <message id="qtn_musi_fetching_recom">
        <source>Fetching recommendations...</source>
        <translation>Fetching recommendations...</translation>
    </message>
    <message id="qtn_musi_fetching_no_matches">
        <source>No matches found</source>
        <translation>No matches found</translation>
    </message>
    <message id="qtn_musi_vellora_tracks" numerus="yes">
        <source>%n track(s)</source>
        <translation>
            <numerusform>%n track</numerusform>
            <numerusform>%n tracks</numerusform>
        </translation>
    </message>
    <message id="qtn_musi_duration_hours" numerus="yes">
        <source>%n hour(s)</source>
        <translation>
            <numerusform>%n hour</numerusform>
            <numerusform>%n hours</numerusform>
        </translation>
    </message>
    <message id="qtn_musi_duration_minutes" numerus="yes">
        <source>%n minute(s)</source>
        <translation>
            <numerusform>%n minute</numerusform>
            <numerusform>%n minutes</numerusform>
        </translation>
    </message>
    <message id="qtn_musi_duration_seconds" numerus="yes">
        <source>%n second(s)</source>
        <translation>
            <numerusform>%n second</numerusform>
            <numerusform>%n seconds</numerusform>
        </translation>
    </message>
</context>
</TS>
