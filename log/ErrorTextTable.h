#pragma once
// The service's own numbered error codes and their fixed texts. The numbering
// has gaps on purpose: clients may know the codes.
#include "platform/core/WinTypes.h"

enum : LONG {
    EC_INTERNAL = 10000,
    EC_SDK = 10001,
    EC_NO_PLAY_DEVICE = 10010,
    EC_OPEN_PLAY_DEVICE = 10011,
    EC_NO_CAPTURE_DEVICE = 10012,
    EC_NO_SUCH_DEVICE = 10013,
    EC_OPEN_DATA_FILE = 10014,
    EC_SAVE_DATA_FILE = 10015,
    EC_OPEN_FILE = 40000,
    EC_CREATE_FILE = 40001,
    EC_DELETE_FILE = 40004,
    EC_CREATE_FOLDER = 40005,
    EC_DELETE_FOLDER = 40006,
    EC_WRITE_FILE = 40007,
    EC_READ_FILE = 40008,
    EC_SYSTEM = 40022,
};

struct ErrorTextRow {
    LONG code;
    const char16_t* text;
};

class ErrorTextTable {
public:
    static constexpr int kRows = 16;
    // The text of a code, or "" for a code the table does not have.
    static const char16_t* Lookup(LONG code);
    static const ErrorTextRow* Rows();
};
