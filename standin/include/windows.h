// Stand-in declarations of the Windows kernel services that the plug-in calls, written for the
// native test build. Types keep their 32-bit Windows widths wherever a record layout depends on
// them; the functions are implemented by the scriptable platform model in standin/.
#pragma once

#include <cstddef>
#include <cstdint>

#define WINAPI
#define __cdecl

typedef int BOOL;
typedef unsigned char BOOLEAN;
typedef std::uint8_t BYTE;
typedef std::uint16_t USHORT;
typedef std::uint32_t DWORD;
typedef std::uint32_t ULONG;
typedef DWORD* LPDWORD;
typedef DWORD* PDWORD;
typedef char CHAR;
typedef const char* LPCSTR;
typedef char* LPSTR;
typedef void* PVOID;
typedef void* LPVOID;
typedef const void* LPCVOID;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef std::intptr_t LONG_PTR;
typedef std::size_t SIZE_T;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
typedef GUID* LPGUID;

struct SECURITY_ATTRIBUTES;
typedef SECURITY_ATTRIBUTES* LPSECURITY_ATTRIBUTES;
struct OVERLAPPED;
typedef OVERLAPPED* LPOVERLAPPED;

#define TRUE 1
#define FALSE 0
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-1)))

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define OPEN_EXISTING 3u

#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_GEN_FAILURE 31u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_NO_MORE_ITEMS 259u
#define ERROR_DEVICE_NOT_CONNECTED 1167u
#define ERROR_INVALID_USER_BUFFER 1784u

extern "C" {
HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, LPSECURITY_ATTRIBUTES security,
                          DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten, LPOVERLAPPED overlapped);
BOOL WINAPI CloseHandle(HANDLE object);
HANDLE WINAPI GetProcessHeap();
LPVOID WINAPI HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
BOOL WINAPI HeapFree(HANDLE heap, DWORD flags, LPVOID memory);
LPSTR WINAPI lstrcpynA(LPSTR destination, LPCSTR source, int maxLength);
DWORD WINAPI GetLastError();
void WINAPI SetLastError(DWORD errorCode);
}
