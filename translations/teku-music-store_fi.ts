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
</context>
</TS>
