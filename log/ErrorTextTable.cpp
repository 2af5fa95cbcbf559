#include "log/ErrorTextTable.h"

namespace {

// A constant table: usable from any static initialiser, in any order.
constexpr ErrorTextRow kTable[ErrorTextTable::kRows] = {
    {EC_INTERNAL, u"Internal error. "},
    {EC_SDK, u"SDK error. "},
    {EC_NO_PLAY_DEVICE, u"No device to play sound in system. "},
    {EC_OPEN_PLAY_DEVICE, u"Cannot open playback device. Change audio device to another. "},
    {EC_NO_CAPTURE_DEVICE, u"No device to capture sound in system. "},
    {EC_NO_SUCH_DEVICE, u"Audio device %s does not exist "},
    {EC_OPEN_DATA_FILE, u"Cannot open the data file %s. "},
    {EC_SAVE_DATA_FILE, u"Cannot save the data file %s. "},
    {EC_OPEN_FILE, u"Cannot open the file:\r\n%s\r\n%d,%s"},
    {EC_CREATE_FILE, u"Cannot create the file:\r\n%s\r\n%d,%s"},
    {EC_DELETE_FILE, u"Cannot delete the file:\r\n%s\r\n%d,%s"},
    {EC_CREATE_FOLDER, u"Cannot create the folder:\r\n%s\r\n%d,%s"},
    {EC_DELETE_FOLDER, u"Cannot delete the folder:\r\n%s\r\n%d,%s"},
    {EC_WRITE_FILE, u"Failed to write data to file:\r\n%s\r\n%d,%s"},
    {EC_READ_FILE, u"Failed to read data from file:\r\n%s\r\n%d,%s"},
    {EC_SYSTEM, u"The following error occurred:\r\n%s (%d)"},
};

}  // namespace

const char16_t* ErrorTextTable::Lookup(LONG code) {
    for (const ErrorTextRow& row : kTable)
        if (row.code == code) return row.text;
    return u"";
}

const ErrorTextRow* ErrorTextTable::Rows() { return kTable; }
