// The console on Windows: the console input buffer, each read under a mode of its own.
#include "platform/console.h"

#include <windows.h>

namespace {

// Processed, line and echo input, every other flag off.
constexpr DWORD LINE_READ_MODE = ENABLE_PROCESSED_INPUT | ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT;
// No line input, no echo, no Ctrl+C handling: Ctrl+C arrives as the key 3.
constexpr DWORD KEY_READ_MODE = 0;

constexpr int KEY_ESC = 27;
// An event that is not a key press of its own.
constexpr int NO_KEY = -2;

HANDLE console_input = INVALID_HANDLE_VALUE;
bool console_tried = false;

// Opens the console input on first use; standard input may be redirected.
HANDLE console_handle()
{
    if (!console_tried) {
        console_tried = true;
        HANDLE handle = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD mode;
        // Something that answers to CONIN$ but has no console mode cannot be read as one.
        if (handle != INVALID_HANDLE_VALUE && !GetConsoleMode(handle, &mode)) {
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
        }
        console_input = handle;
    }
    return console_input;
}

// Keys that only modify others give no key press of their own.
bool is_modifier(WORD key)
{
    switch (key) {
    case VK_SHIFT: case VK_CONTROL: case VK_MENU: case VK_CAPITAL: case VK_NUMLOCK: case VK_SCROLL:
    case VK_LWIN: case VK_RWIN: case VK_LSHIFT: case VK_RSHIFT: case VK_LCONTROL: case VK_RCONTROL:
    case VK_LMENU: case VK_RMENU:
        return true;
    default:
        return false;
    }
}

// The code of a key press event, or NO_KEY.
int key_of(const INPUT_RECORD& record)
{
    if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown)
        return NO_KEY;
    const KEY_EVENT_RECORD& key = record.Event.KeyEvent;
    int code = static_cast<unsigned char>(key.uChar.AsciiChar);
    if (code != 0)
        return code;
    // Some consoles deliver a lone Esc with no character.
    if (key.wVirtualKeyCode == VK_ESCAPE)
        return KEY_ESC;
    return is_modifier(key.wVirtualKeyCode) ? NO_KEY : 0;
}

} // namespace

int console_read_line(char* buffer, int capacity)
{
    HANDLE input = console_handle();
    DWORD saved;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &saved))
        return CONSOLE_FAILED;
    DWORD got = 0;
    bool ok = SetConsoleMode(input, LINE_READ_MODE) &&
              ReadConsoleA(input, buffer, static_cast<DWORD>(capacity), &got, nullptr);
    SetConsoleMode(input, saved);
    return ok && got > 0 ? static_cast<int>(got) : CONSOLE_FAILED;
}

int console_read_key()
{
    HANDLE input = console_handle();
    DWORD saved;
    if (input == INVALID_HANDLE_VALUE || !GetConsoleMode(input, &saved))
        return CONSOLE_FAILED;
    int key = CONSOLE_FAILED;
    // Ctrl+C is a key here; where a terminal raises it as a signal anyway, the signal is ignored.
    SetConsoleCtrlHandler(nullptr, TRUE);
    if (SetConsoleMode(input, KEY_READ_MODE)) {
        INPUT_RECORD record;
        DWORD events;
        while (ReadConsoleInputA(input, &record, 1, &events) && events == 1) {
            key = key_of(record);
            if (key != NO_KEY)
                break;
        }
        if (key == NO_KEY)
            key = CONSOLE_FAILED;
    }
    SetConsoleMode(input, saved);
    SetConsoleCtrlHandler(nullptr, FALSE);
    return key;
}
