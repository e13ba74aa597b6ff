// Reading "ovx.ini" into the program-wide settings.
#pragma once

namespace ovx {

class Platform;
struct Settings;

// Reads the eight keys of sections [General] and [COM]; missing keys and
// values that do not fit their type take the key's default.
void ReadSettings(Platform& platform, Settings& g);

// Writes the five default entries of a new "ovx.ini".
void WriteDefaultSettings(Platform& platform);

}  // namespace ovx
