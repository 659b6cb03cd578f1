#pragma once

class Boxes;
class ErrorReporter;
class EventPump;
class FileDialogs;
class KeyValueStore;
class Pointer;

// The platform services the file-list commands work through.
struct FileListServices
{
    Boxes& boxes;
    FileDialogs& dialogs;
    KeyValueStore& store;
    Pointer& pointer;
    EventPump& pump;
    ErrorReporter& reporter;
};
