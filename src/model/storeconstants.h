#pragma once

// Deployment values of the store service, shared by the plug-in and the
// project's own store emulator so that both speak the same schema.
namespace StoreConstants {

inline constexpr char DefaultProtocol[] = "http";
inline constexpr char DefaultHost[] = "api.corvexmusic.example";
inline constexpr char DefaultToken[] = "7d2f9c14-6a3b-4e81-b5c0-19e4a8d3f267";
inline constexpr char DefaultVersion[] = "1.0";
// The territory when the settings name none and the store names none either.
inline constexpr char DefaultTerritory[] = "gb";

// Fixed text: the default base URL followed by "/1.0/schema", never built
// from the configured base URL.
inline constexpr char SchemaNamespace[] = "http://api.corvexmusic.example/1.0/schema";
inline constexpr char AtomNamespace[] = "http://www.w3.org/2005/Atom";
inline constexpr char AtomPubNamespace[] = "http://www.w3.org/2007/app";

} // namespace StoreConstants
