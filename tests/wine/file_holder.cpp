// Holds a file open without sharing until told to let go, as another program
// that uses a file would.
//   file_holder PATH READY_EVENT RELEASE_EVENT
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 3;
    const HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    const HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !release)
        return 4;
    SetEvent(ready);
    const DWORD waited = WaitForSingleObject(release, 60000);
    CloseHandle(file);
    return waited == WAIT_OBJECT_0 ? 0 : 5;
}
