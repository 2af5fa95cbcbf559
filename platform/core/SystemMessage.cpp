#include "platform/core/SystemMessage.h"

#include <cstring>

#include "platform/core/Text.h"

namespace plat {

namespace {

struct Row {
    HRESULT id;
    const char* text;
};

constexpr Row kRows[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_ABORT, "Operation aborted"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {CONNECT_E_NOCONNECTION, "The connection does not exist."},
    {CONNECT_E_ADVISELIMIT, "The limit of connections has been reached."},
    {CONNECT_E_CANNOTCONNECT, "The connection could not be made."},
    {RPC_E_DISCONNECTED, "The object invoked has disconnected from its clients."},
    {STG_E_FILENOTFOUND, "The file could not be found."},
    {STG_E_ACCESSDENIED, "Access denied."},
    {STG_E_INVALIDHEADER, "The file is not a valid compound file."},
    {STG_E_SHAREVIOLATION, "A share violation has occurred."},
    {STG_E_READFAULT, "A disk error occurred during a read operation."},
    {STG_E_WRITEFAULT, "A disk error occurred during a write operation."},
    {STG_E_MEDIUMFULL, "There is insufficient disk space to complete operation."},
};

struct Win32Row {
    DWORD code;
    const char* text;
};

constexpr Win32Row kWin32Rows[] = {
    {ERROR_INVALID_FUNCTION, "Incorrect function."},
    {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
    {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
    {ERROR_ACCESS_DENIED, "Access is denied."},
    {ERROR_INVALID_HANDLE, "The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, "The data is invalid."},
    {ERROR_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {ERROR_NO_MORE_FILES, "There are no more files."},
    {ERROR_NOT_READY, "The device is not ready."},
    {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
    {ERROR_READ_FAULT, "The system cannot read from the specified device."},
    {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
    {ERROR_SHARING_VIOLATION, "The process cannot access the file because it is being used by another process."},
    {ERROR_LOCK_VIOLATION, "The process cannot access the file because another process has locked a portion of the file."},
    {ERROR_HANDLE_EOF, "Reached the end of the file."},
    {ERROR_HANDLE_DISK_FULL, "The disk is full."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_DEV_NOT_EXIST, "The specified network resource or device is no longer available."},
    {ERROR_FILE_EXISTS, "The file exists."},
    {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
    {ERROR_BROKEN_PIPE, "The pipe has been ended."},
    {ERROR_DISK_FULL, "There is not enough space on the disk."},
    {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
    {ERROR_BUSY, "The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
    {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
    {ERROR_PIPE_BUSY, "All pipe instances are busy."},
    {ERROR_NO_DATA, "The pipe is being closed."},
    {ERROR_PIPE_NOT_CONNECTED, "No process is on the other end of the pipe."},
    {ERROR_MORE_DATA, "More data is available."},
    {ERROR_DIRECTORY, "The directory name is invalid."},
    {ERROR_OPERATION_ABORTED, "The I/O operation has been aborted because of either a thread exit or an application request."},
    {ERROR_IO_PENDING, "Overlapped I/O operation is in progress."},
    {ERROR_NOACCESS, "Invalid access to memory location."},
    {ERROR_SERVICE_ALREADY_RUNNING, "An instance of the service is already running."},
    {ERROR_FAILED_SERVICE_CONTROLLER_CONNECT, "The service process could not connect to the service controller."},
    {ERROR_DEVICE_NOT_CONNECTED, "The device is not connected."},
    {ERROR_NOT_FOUND, "Element not found."},
    {ERROR_CANCELLED, "The operation was canceled by the user."},
    {ERROR_TIMEOUT, "This operation returned because the timeout period expired."},
    {0x6BA, "The RPC server is unavailable."},
    {0x6BE, "The remote procedure call failed."},
};

}  // namespace

bool FormatSystemMessage(HRESULT id, std::u16string* text) {
    const char* found = nullptr;
    for (const Row& r : kRows)
        if (r.id == id) found = r.text;
    if (!found && (static_cast<uint32_t>(id) & 0xFFFF0000u) == 0x80070000u) {
        DWORD code = HRESULT_CODE(id);
        for (const Win32Row& r : kWin32Rows)
            if (r.code == code) found = r.text;
    }
    if (!found) return false;
    if (text) *text = ToUtf16(found) + u"\r\n";
    return true;
}

}  // namespace plat
