// Str: the program's one string type. A growable heap buffer of bytes with
// an explicit length and capacity, always zero-terminated so that `data` can
// be handed to Win32 calls directly. The block is `cap` + 3 bytes, so
// data[len] and data[len + 1] always exist: the resize operations zero both,
// which lets the text double as a one-entry, double-NUL-terminated list.
//
// Nothing here calls Windows except ToWide (str_win.cpp), so the string
// buffer, the formatter and the concatenation also build natively.
#pragma once

#include <stdarg.h>
#include <stdint.h>

struct Str {
    // Growth flags, fixed at construction.
    enum : uint8_t {
        KeepCapacity = 1, // never shrink the block
        LargeSteps = 2,   // headroom 1000 instead of 10
    };
    // Mode bits of GetBuffer.
    enum {
        KeepContent = 1,
        SizeAsLength = 2,
    };

    char* data = nullptr;
    int32_t len = 0;
    int32_t cap = 0;
    uint8_t flags = 0;

    Str() = default;
    explicit Str(uint8_t f) : flags(f) {}
    ~Str();
    // One owner per block; copies go through Assign.
    Str(const Str&) = delete;
    Str& operator=(const Str&) = delete;

    // Length becomes n (n >= 0) under the growth policy.
    void Resize(int32_t n);        // content kept
    void ResizeDiscard(int32_t n); // content dropped when the block changes
    // Allocates a new block without freeing the old one (the caller saved
    // `data` before and frees it). True when a block was allocated.
    bool ResizeKeepOld(int32_t n, bool noTerminator);
    char* GetBuffer(int32_t n, int mode);
    // n < 0: up to the first zero byte. Cut to cap.
    void SetLength(int32_t n, bool keepCapacity);

    bool EqualNoCase(const Str& other) const;
    bool StartsWith(const char* text, int32_t n = -1) const;
    bool EndsWith(const char* text, int32_t n = -1) const;

    Str& Assign(const Str& src);
    Str& Assign(const char* text);
    Str& Append(const Str& src);
    Str& Append(const char* text);
    Str& Prepend(const Str& src);
    Str& Prepend(const char* text);
    Str& AssignConcat(const Str& first, const char* second);
    Str& AssignConcat(const char* first, const char* second);
    Str& Substring(const Str& src, int32_t start, int32_t count, bool append);
    Str& TrimEnd(char ch);

    // UTF-16 through the ANSI code page; null or `data` converts in place.
    // Windows only (str_win.cpp).
    wchar_t* ToWide(const char* text);

    // Template formatting (format.cpp): "#" int, "&" hex, "^" double,
    // "$" text, "~" Str*, "{n}" n bytes, "[n]" one byte.
    Str& Format(const char* tmpl, ...);
    Str& FormatV(int32_t start, const char* tmpl, va_list args);
    // c (0..16) pieces of (const char*, int32_t length; < 0 = measured; a
    // null pointer is an empty piece).
    // Pieces may lie inside this Str's own buffer.
    Str& Concat(int c, ...);
    Str& ConcatV(int c, va_list pairs);

  private:
    bool Owns(const char* p) const;
    int32_t TextLength(const char* text) const;
    void Release();
    void Terminate(int32_t n);
    int32_t NewCap(int32_t n) const;
    bool NeedsNewBlock(int32_t n) const;
    Str& PrependBytes(const char* src, int32_t m);
    Str& AppendBytes(const char* src, int32_t m);
    Str& AssignPieces(const char* first, int32_t m1, const char* second, int32_t m2);
};

// The ASCII letters A-Z folded onto a-z, every other byte as it is: the one
// case folding of the program, whatever the code page.
inline char FoldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// A fresh working buffer for a Win32 call to fill: room for n bytes, an
// empty text in it (both terminator bytes zero). The length stays n until
// the call's outcome sets it.
inline void PrepareBuffer(Str& s, int32_t n) {
    s.ResizeKeepOld(n, false);
    s.data[0] = 0;
    s.data[1] = 0;
}

// Called when the heap is exhausted; does not return.
[[noreturn]] void StrOutOfMemory();
