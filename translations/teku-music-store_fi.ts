<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fi_FI">
<context>
    <name></name>
    <message id="qtn_musi_vellora">
        <source>You might also like</source>
        <translation>Saatat pitää myös näistä</translation>
    </message>
    <message id="qtn_musi_vellora_artists">
        <source>Similar artists</source>
        <translation>Samankaltaisia artisteja</translation>
    </message>
    <message id="qtn_musi_tekumusic_more">
        <source>More in Teku Music</source>
        <translation>Lisää Teku Musicissa</translation>
    </message>
    <message id="qtn_musi_fetching_recom">
        <source>Fetching recommendations...</source>
        <translation>Haetaan suosituksia...</translation>
    </message>
    <message id="qtn_musi_fetching_no_matches">
        <source>No matches found</source>
        <translation>Ei osumia</translation>
    </message>
    <message id="qtn_musi_vellora_tracks" numerus="yes">
        <source>%n track(s)</source>
        <translation>
            <numerusform>%n kappale</numerusform>
            <numerusform>%n kappaletta</numerusform>
        </translation>
    </message>
    <message id="qtn_musi_duration_hours" numerus="yes">
        <source>%n hour(s)</source>
        <translation>
            <numerusform>%n tunti</numerusform>
            <numerusform>%n tuntia</numerusform>
        </translation>
    </message>
    <message id="qtn_musi_duration_minutes" numerus="yes">
        <source>%n minute(s)</source>
        <translation>
            <numerusform>%n minuutti</numerusform>
            <numerusform>%n minuuttia</numerusform>
        </translation>
    </message>
    <message id="qtn_musi_duration_seconds" numerus="yes">
        <source>%n second(s)</source>
        <translation>
            <numerusform>%n sekunti</numerusform>
            <numerusform>%n sekuntia</numerusform>
        </translation>
    </message>
</context>
</TS>
