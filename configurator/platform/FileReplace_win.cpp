// The Windows side of FileReplace.h: CreateFileW, FlushFileBuffers and
// MoveFileExW. The same guarantees as on Linux: the new content is on the
// disk before it takes the target's place, the replace is one step
// (MOVEFILE_REPLACE_EXISTING) that reaches the disk before it returns
// (MOVEFILE_WRITE_THROUGH), and any failure leaves the old file as it was.

#include "FileReplace.h"

#include "WinText.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace FileReplace {

namespace {


bool writeAll(HANDLE file, const char *data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = size > 0x10000000 ? 0x10000000 : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool readAll(HANDLE file, std::string *bytes)
{
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr))
            return false;
        if (got == 0)
            return true;
        bytes->append(buffer, got);
    }
}

// Rewrites the file in place: the old content is kept and written back when
// the new content cannot be written whole.
Outcome rewriteInPlace(const std::wstring &path, const char *data, std::size_t size)
{
    Outcome outcome;
    outcome.inPlace = true;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        outcome.failed = Step::OpenInPlace;
        outcome.error = int(GetLastError());
        return outcome;
    }
    std::string old;
    if (!readAll(file, &old)) {
        outcome.failed = Step::ReadOld;
        outcome.error = int(GetLastError());
        CloseHandle(file);
        return outcome;
    }
    const auto rewrite = [file](const char *bytes, std::size_t n) {
        return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER && writeAll(file, bytes, n)
               && SetEndOfFile(file) && FlushFileBuffers(file);
    };
    if (!rewrite(data, size)) {
        outcome.error = int(GetLastError());
        outcome.failed = rewrite(old.data(), old.size()) ? Step::WriteInPlace : Step::WriteInPlaceLost;
    }
    CloseHandle(file);
    return outcome;
}

} // namespace

Status examine(const std::string &path)
{
    Status status;
    const DWORD attributes = GetFileAttributesW(WinText::wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            status.error = int(error);
        return status;
    }
    status.kind = (attributes & FILE_ATTRIBUTE_DIRECTORY) ? Kind::Folder
                  : (attributes & FILE_ATTRIBUTE_DEVICE)  ? Kind::CharacterDevice
                                                          : Kind::File;
    return status;
}

int writeAccess(const std::string &path, Kind kind)
{
    if (kind == Kind::Folder)
        return 0; // a folder's rights show when the temporary file is created
    const DWORD attributes = GetFileAttributesW(WinText::wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return int(GetLastError());
    return (attributes & FILE_ATTRIBUTE_READONLY) ? int(ERROR_ACCESS_DENIED) : 0;
}

Outcome writeWhole(const std::string &targetUtf8, const char *data, std::size_t size, unsigned mode)
{
    Outcome outcome;
    const std::wstring target = WinText::wide(targetUtf8);
    const bool exists = GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES;
    // A name beside the target that no other save of this process or another
    // one takes at the same moment.
    static std::atomic<unsigned> serial{0};
    HANDLE file = INVALID_HANDLE_VALUE;
    std::wstring temporary;
    DWORD createError = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE && createError == ERROR_FILE_EXISTS;
         ++attempt) {
        temporary = target + L"." + std::to_wstring(GetCurrentProcessId()) + L"-"
                    + std::to_wstring(serial.fetch_add(1)) + L".tmp";
        file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            createError = GetLastError();
    }
    if (file == INVALID_HANDLE_VALUE) {
        // The folder takes no new file: an existing file we may write is
        // still written, in place.
        if (exists && (createError == ERROR_ACCESS_DENIED || createError == ERROR_FILENAME_EXCED_RANGE))
            return rewriteInPlace(target, data, size);
        outcome.failed = Step::CreateTemporary;
        outcome.error = int(createError);
        return outcome;
    }
    const bool written = writeAll(file, data, size) && FlushFileBuffers(file);
    const DWORD writeError = written ? 0 : GetLastError();
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed) {
        outcome.failed = Step::Write;
        outcome.error = int(written ? GetLastError() : writeError);
        DeleteFileW(temporary.c_str());
        return outcome;
    }
    if ((mode & 0200) == 0)
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_READONLY);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        outcome.failed = Step::Replace;
        outcome.error = int(GetLastError());
        SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(temporary.c_str());
        return outcome;
    }
    return outcome;
}

unsigned modeOf(const std::string &target)
{
    const DWORD attributes = GetFileAttributesW(WinText::wide(target).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return newFileMode();
    return (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
}

unsigned newFileMode()
{
    return 0644;
}

bool followsLinks()
{
    return false;
}

std::string errorText(int error)
{
    return WinText::errorText(static_cast<unsigned long>(error));
}

} // namespace FileReplace
