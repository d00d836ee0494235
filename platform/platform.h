// The few things that differ between operating systems: where the settings
// file and the archives live, how a file is replaced safely, how a web
// address reaches the browser. Everything else is portable SDL and OpenGL.
#pragma once

#include <cstddef>
#include <string>

// ---------------------------------------------------------------------------
// Types
// ---------------------------------------------------------------------------

// How the browser is started for an address: the program to run and its command line.
struct BrowserCommand {
    std::string path;         // application to start
    std::string commandLine;  // quoted program name, a blank, then the address
};

// ---------------------------------------------------------------------------
// Program
// ---------------------------------------------------------------------------

// The whole program (start-up, main loop, shutdown), defined by the shell; returns the exit status.
int runGame();

// ---------------------------------------------------------------------------
// Files and folders
// ---------------------------------------------------------------------------

// Full path of the settings file, its folder created if missing; empty when no folder can be determined.
std::string platformSettingsPath();
// Changes into the folder that holds the archives (see the implementation for the search order).
void platformEnterDataDirectory();
// Replaces the file at path with the bytes, only once they are all on disk; on failure the old file stays.
bool platformReplaceFile(const std::string& path, const void* bytes, size_t size);

// ---------------------------------------------------------------------------
// Video
// ---------------------------------------------------------------------------

// Sets what the video layer must see before SDL starts (process environment).
void platformPrepareVideo();

// ---------------------------------------------------------------------------
// Web addresses
// ---------------------------------------------------------------------------

// Starts the default browser on the address; reports nothing.
void platformOpenAddress(const std::string& address);
// The browser command for a registry "http\shell\open\command" value held in a buffer of
// capacity bytes (read only inside it, terminated or not) and an address.
BrowserCommand browserCommandFromRegistryValue(const char* value, size_t capacity, const std::string& address);
