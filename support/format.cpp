// The template formatter and the piece concatenation of Str. No Windows
// calls here: this file also builds natively for sanitizers and fuzzing.
#include "str.h"

#include <math.h>
#include <stdio.h>
#include <stddef.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Room that the number directives reserve before writing in place.
const int32_t kNumberRoom = 20;
// Extra room taken whenever the formatter has to grow.
const int32_t kGrowRoom = 300;
// Beyond this, a piece would overflow the 32-bit length: the output ends.
const int64_t kMaxLength = 0x7FFFFFFF - 2 * kGrowRoom;

// Reads the unsigned number of a "{n}" or "[n]" directive: decimal, octal
// after a leading 0, hexadecimal after 0x or 0X. Wraps at 32 bits.
uint32_t ParseNumber(const char*& p) {
    uint32_t n = 0;
    if (*p == '0' && (p[1] == 'x' || p[1] == 'X')) {
        p += 2;
        for (;; p++) {
            char c = *p;
            if (c >= '0' && c <= '9')
                n = n * 16 + static_cast<uint32_t>(c - '0');
            else if (c >= 'a' && c <= 'f')
                n = n * 16 + static_cast<uint32_t>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                n = n * 16 + static_cast<uint32_t>(c - 'A' + 10);
            else
                break;
        }
    } else if (*p == '0') {
        for (; *p >= '0' && *p <= '7'; p++)
            n = n * 8 + static_cast<uint32_t>(*p - '0');
    } else {
        for (; *p >= '0' && *p <= '9'; p++)
            n = n * 10 + static_cast<uint32_t>(*p - '0');
    }
    return n;
}

// Skips up to and including `close`; false when the template ends first.
bool SkipPast(const char*& p, char close) {
    while (*p && *p != close)
        p++;
    if (!*p)
        return false;
    p++;
    return true;
}

// Writes digits of v in the radix, most significant first, then a zero byte.
// Returns the count of characters written (the zero not counted).
int32_t WriteUnsigned(char* out, uint32_t v, uint32_t radix) {
    char digits[12];
    int32_t n = 0;
    do {
        uint32_t d = v % radix;
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'A' + d - 10);
        v /= radix;
    } while (v);
    for (int32_t i = 0; i < n; i++)
        out[i] = digits[n - 1 - i];
    out[n] = 0;
    return n;
}

int32_t WriteDecimal(char* out, int32_t v) {
    if (v >= 0)
        return WriteUnsigned(out, static_cast<uint32_t>(v), 10);
    out[0] = '-';
    return 1 + WriteUnsigned(out + 1, 0u - static_cast<uint32_t>(v), 10);
}

// The general number form with 10 significant digits: fixed for decimal
// exponents -1 to 9, else d.ddddddddde+XXX; trailing fraction zeros go, the
// point stays. At most 18 bytes with the zero.
int32_t WriteDouble(char* out, double v) {
    char* o = out;
    if (isnan(v)) {
        memcpy(out, "nan", 4);
        return 3;
    }
    if (v < 0) {
        *o++ = '-';
        v = -v;
    }
    if (isinf(v)) {
        memcpy(o, "inf", 4);
        return static_cast<int32_t>(o - out) + 3;
    }
    char digits[11];
    int e = 0;
    if (v == 0) {
        memset(digits, '0', 10);
    } else {
        // %.9e rounds to ten significant digits, a carry into a new leading
        // digit included; its exponent width differs between C runtimes, so
        // only its digits and the exponent's value are taken.
        char buf[40];
#ifdef _WIN32
        // The runtime DLL's own formatter: the C library's would add its
        // whole printf to the executable.
        _snprintf(buf, sizeof buf, "%.9e", v);
#else
        snprintf(buf, sizeof buf, "%.9e", v);
#endif
        digits[0] = buf[0];
        memcpy(digits + 1, buf + 2, 9);
        // "d.ddddddddde" then the exponent's sign and two or three digits
        for (const char* x = buf + 13; *x >= '0' && *x <= '9'; x++)
            e = e * 10 + (*x - '0');
        if (buf[12] == '-')
            e = -e;
    }
    digits[10] = 0;
    char* fraction;
    if (e < -1 || e > 9) {
        *o++ = digits[0];
        *o++ = '.';
        fraction = o;
        memcpy(o, digits + 1, 9);
        o += 9;
        while (o > fraction && o[-1] == '0')
            o--;
        *o++ = 'e';
        *o++ = e < 0 ? '-' : '+';
        int a = e < 0 ? -e : e;
        *o++ = static_cast<char>('0' + a / 100);
        *o++ = static_cast<char>('0' + a / 10 % 10);
        *o++ = static_cast<char>('0' + a % 10);
    } else {
        int intDigits = e + 1; // 0 for e = -1
        if (intDigits == 0)
            *o++ = '0';
        memcpy(o, digits, static_cast<size_t>(intDigits));
        o += intDigits;
        if (e < 9) {
            *o++ = '.';
            fraction = o;
            memcpy(o, digits + intDigits, static_cast<size_t>(10 - intDigits));
            o += 10 - intDigits;
            while (o > fraction && o[-1] == '0')
                o--;
        }
    }
    *o = 0;
    return static_cast<int32_t>(o - out);
}

} // namespace

Str& Str::Format(const char* tmpl, ...) {
    va_list args;
    va_start(args, tmpl);
    FormatV(0, tmpl, args);
    va_end(args);
    return *this;
}

Str& Str::FormatV(int32_t start, const char* tmpl, va_list args) {
    if (start < 0)
        start = 0;
    // A block replaced here is freed only at the end, so that an argument
    // pointing into our old text still reads valid bytes.
    char* replaced = nullptr;
    if (start == 0 && cap < kGrowRoom) {
        char* old = data;
        if (ResizeKeepOld(kGrowRoom, false))
            replaced = old;
    } else if (start > cap) {
        Resize(start);
    }
    int32_t pos = start;

    // Makes room for m more bytes at pos; a source inside our own block is
    // re-pointed after a move. False when the length would overflow.
    auto room = [&](int64_t m, int64_t extra, const char** src) {
        if (pos + m > kMaxLength)
            return false;
        if (pos + m > cap) {
            ptrdiff_t offset = (src && Owns(*src)) ? *src - data : -1;
            Resize(static_cast<int32_t>(pos + m + extra));
            if (offset >= 0)
                *src = data + offset;
        }
        return true;
    };

    for (const char* p = tmpl; p && *p;) {
        char c = *p++;
        if (c == '#' || c == '&' || c == '^') {
            if (!room(kNumberRoom, kGrowRoom - kNumberRoom, nullptr))
                break;
            if (c == '#')
                pos += WriteDecimal(data + pos, va_arg(args, int32_t));
            else if (c == '&')
                pos += WriteUnsigned(data + pos, va_arg(args, uint32_t), 16);
            else
                pos += WriteDouble(data + pos, va_arg(args, double));
        } else if (c == '$') {
            const char* text = va_arg(args, const char*);
            if (!text)
                continue;
            int64_t m = TextLength(text);
            if (!room(m, kGrowRoom, &text))
                break;
            memmove(data + pos, text, static_cast<size_t>(m));
            pos += static_cast<int32_t>(m);
        } else if (c == '~') {
            const Str* s = va_arg(args, const Str*);
            int32_t m = s ? s->len : 0;
            if (m <= 0)
                continue;
            if (!room(m, kGrowRoom, nullptr))
                break;
            memmove(data + pos, s->data, static_cast<size_t>(m));
            pos += m;
        } else if (c == '{') {
            uint32_t n = ParseNumber(p);
            if (!SkipPast(p, '}'))
                break;
            const char* bytes = va_arg(args, const char*);
            if (!bytes || n == 0)
                continue;
            if (!room(n, kGrowRoom, &bytes))
                break;
            memmove(data + pos, bytes, n);
            pos += static_cast<int32_t>(n);
        } else {
            if (c == '[' && *p >= '0' && *p <= '9') {
                uint32_t n = ParseNumber(p);
                if (!SkipPast(p, ']'))
                    break;
                c = static_cast<char>(n & 0xFF);
            }
            if (!room(1, kGrowRoom - 1, nullptr))
                break;
            data[pos++] = c;
        }
    }

    if (flags & KeepCapacity) {
        len = pos;
        data[pos] = 0;
    } else {
        Resize(pos);
    }
    free(replaced);
    return *this;
}

Str& Str::Concat(int c, ...) {
    va_list pairs;
    va_start(pairs, c);
    ConcatV(c, pairs);
    va_end(pairs);
    return *this;
}

Str& Str::ConcatV(int c, va_list pairs) {
    const int kMaxPieces = 16;
    const char* ptr[kMaxPieces];
    int32_t size[kMaxPieces];
    if (c < 0)
        c = 0;
    if (c > kMaxPieces)
        c = kMaxPieces; // the tables hold 16; callers pass fewer
    bool overlap = false;
    int64_t total = 0;
    uintptr_t lo = reinterpret_cast<uintptr_t>(data);
    uintptr_t hi = lo + static_cast<uintptr_t>(cap) + 16;
    for (int i = 0; i < c; i++) {
        ptr[i] = va_arg(pairs, const char*);
        size[i] = va_arg(pairs, int32_t);
        uintptr_t a = reinterpret_cast<uintptr_t>(ptr[i]);
        if (!ptr[i]) {
            size[i] = 0;
            continue;
        }
        if (data && a >= lo && a <= hi && !(i == 0 && ptr[i] == data))
            overlap = true;
        if (size[i] < 0)
            size[i] = TextLength(ptr[i]);
        total += size[i];
    }
    if (total > kMaxLength)
        total = 0; // no such text fits a 32-bit length: leave an empty one

    char* old = data;
    if (overlap)
        cap = 0; // forces a new block: the pieces are read from the old one
    bool allocated = ResizeKeepOld(static_cast<int32_t>(total), false);
    int32_t pos = 0;
    for (int i = 0; i < c && total > 0; i++) {
        if (size[i] > 0 && ptr[i] != data)
            memmove(data + pos, ptr[i], static_cast<size_t>(size[i]));
        pos += size[i];
    }
    if (allocated && old)
        free(old);
    return *this;
}
