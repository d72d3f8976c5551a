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
</context>
</TS>
