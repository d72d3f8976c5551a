#pragma once

#include <QString>

// The companion's own choices, kept across runs in the caller's
// configuration folder (not a throw-away home's), in a file of one
// "key=value" line each that is read bounded and never as anything but text.
class CompanionSettings
{
public:
    // The caller's configuration folder, named before a throw-away home
    // takes the XDG folders' place.
    static constexpr char CallerConfigVariable[] = "VELLORA_CALLER_CONFIG";

    static QString fileName();
    // Whether the window answers from open data; false until chosen.
    static bool openData();
    // False when the file cannot be written.
    static bool setOpenData(bool on);
};
