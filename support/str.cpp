#include "str.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Largest length or capacity: the block of cap + 3 bytes must stay within a
// signed 32-bit count.
const int64_t kMaxCap = 0x7FFFFFFF - 3;

// Lengths reach the resize primitives as 64-bit sums so that no caller has
// to think about overflow. A negative length is taken as 0; one that no block
// can hold is an allocation failure.
int32_t CheckedLength(int64_t n) {
    if (n < 0)
        return 0;
    if (n > kMaxCap)
        StrOutOfMemory();
    return static_cast<int32_t>(n);
}

char* Allocate(int32_t cap) {
    char* p = static_cast<char*>(malloc(static_cast<size_t>(cap) + 3));
    if (!p)
        StrOutOfMemory();
    return p;
}

// Bytes of a target's own block are copied aside before the target changes:
// the resize may move or shrink the block, and its terminator writes may land
// inside the source.
char* CopyAside(const char* src, int32_t m) {
    char* copy = Allocate(m);
    memcpy(copy, src, static_cast<size_t>(m));
    return copy;
}

} // namespace

Str::~Str() {
    free(data);
}

void Str::Release() {
    free(data);
    data = nullptr;
    len = 0;
    cap = 0;
}

// True when p points into this object's block (its 3 spare bytes included).
// Such a source dies with the block, so the copying operations read it
// before the block is replaced.
bool Str::Owns(const char* p) const {
    return data && p && reinterpret_cast<uintptr_t>(p) >= reinterpret_cast<uintptr_t>(data) &&
           reinterpret_cast<uintptr_t>(p) < reinterpret_cast<uintptr_t>(data) + cap + 3;
}

// A text inside our own block is measured no further than the block's end:
// an operation in progress may already have overwritten its terminator.
int32_t Str::TextLength(const char* text) const {
    if (!text)
        return 0;
    if (Owns(text)) {
        size_t room = static_cast<size_t>(data + cap + 3 - text);
        const void* zero = memchr(text, 0, room);
        return static_cast<int32_t>(zero ? static_cast<const char*>(zero) - text
                                         : static_cast<ptrdiff_t>(room));
    }
    return CheckedLength(static_cast<int64_t>(strlen(text)));
}

void Str::Terminate(int32_t n) {
    len = n;
    data[n] = 0;
    data[n + 1] = 0;
}

int32_t Str::NewCap(int32_t n) const {
    int64_t c = static_cast<int64_t>(n) + (n >> 3) + ((flags & LargeSteps) ? 1000 : 10);
    return static_cast<int32_t>(c > kMaxCap ? kMaxCap : c);
}

bool Str::NeedsNewBlock(int32_t n) const {
    if (!data || cap < n)
        return true;
    if (flags & KeepCapacity)
        return false;
    return cap > 2 * static_cast<int64_t>(n) + ((flags & LargeSteps) ? 5000 : 50);
}

void Str::Resize(int32_t n) {
    n = CheckedLength(n);
    if (!data) {
        data = Allocate(n);
        cap = n;
    } else if (NeedsNewBlock(n)) {
        int32_t newCap = NewCap(n);
        char* p = static_cast<char*>(realloc(data, static_cast<size_t>(newCap) + 3));
        if (!p)
            StrOutOfMemory();
        data = p;
        cap = newCap;
    }
    Terminate(n);
}

void Str::ResizeDiscard(int32_t n) {
    n = CheckedLength(n);
    if (!data) {
        data = Allocate(n);
        cap = n;
    } else if (NeedsNewBlock(n)) {
        int32_t newCap = NewCap(n);
        free(data);
        data = nullptr;
        data = Allocate(newCap);
        cap = newCap;
    }
    Terminate(n);
}

bool Str::ResizeKeepOld(int32_t n, bool noTerminator) {
    n = CheckedLength(n);
    bool allocated = false;
    if (!data) {
        data = Allocate(n);
        cap = n;
        allocated = true;
    } else if (NeedsNewBlock(n)) {
        int32_t newCap = NewCap(n);
        data = Allocate(newCap);
        cap = newCap;
        allocated = true;
    }
    len = n;
    if (!noTerminator) {
        data[n] = 0;
        data[n + 1] = 0;
    }
    return allocated;
}

char* Str::GetBuffer(int32_t n, int mode) {
    if (n < 0) {
        if (data) {
            char* p = static_cast<char*>(realloc(data, static_cast<size_t>(len) + 3));
            if (!p)
                StrOutOfMemory();
            data = p;
            cap = len;
            Terminate(len);
        }
        return data;
    }
    if (mode & KeepContent) {
        int32_t old = len;
        Resize(n);
        if (!(mode & SizeAsLength) && n > old)
            Terminate(old);
    } else {
        ResizeDiscard(n);
        data[0] = 0;
        data[1] = 0;
        if (!(mode & SizeAsLength))
            len = 0;
    }
    return data;
}

void Str::SetLength(int32_t n, bool keepCapacity) {
    if (cap == 0)
        return;
    if (n < 0) {
        const void* zero = memchr(data, 0, static_cast<size_t>(cap) + 1);
        if (!zero) {
            Terminate(cap);
            return;
        }
        n = static_cast<int32_t>(static_cast<const char*>(zero) - data);
    }
    if (n > cap)
        n = cap;
    if (!(flags & KeepCapacity) && !keepCapacity && n < cap)
        Resize(n);
    else
        Terminate(n);
}

bool Str::EqualNoCase(const Str& other) const {
    if (len != other.len)
        return false;
    if (!data || !other.data)
        return !data && !other.data;
    for (int32_t i = 0; i < len; i++) {
        if (FoldAscii(data[i]) != FoldAscii(other.data[i]))
            return false;
    }
    return true;
}

bool Str::StartsWith(const char* text, int32_t n) const {
    if (!data || !text)
        return false;
    if (n < 0)
        n = TextLength(text);
    if (n > len)
        return false;
    return memcmp(data, text, static_cast<size_t>(n)) == 0;
}

bool Str::EndsWith(const char* text, int32_t n) const {
    if (!data || !text)
        return false;
    if (n < 0)
        n = TextLength(text);
    if (n > len)
        return false;
    return memcmp(data + len - n, text, static_cast<size_t>(n)) == 0;
}

Str& Str::Assign(const Str& src) {
    if (&src == this)
        return *this;
    if (!src.data) {
        Release();
        return *this;
    }
    ResizeDiscard(src.len);
    memcpy(data, src.data, static_cast<size_t>(src.len));
    return *this;
}

Str& Str::Assign(const char* text) {
    if (text == data && data)
        return *this;
    if (!text) {
        Release();
        return *this;
    }
    int32_t m = TextLength(text);
    if (Owns(text)) {
        // A tail of our own text: move it down, then let the policy size it.
        memmove(data, text, static_cast<size_t>(m));
        Resize(m);
        return *this;
    }
    ResizeDiscard(m);
    memcpy(data, text, static_cast<size_t>(m));
    return *this;
}

Str& Str::AppendBytes(const char* src, int32_t m) {
    if (Owns(src)) {
        char* copy = CopyAside(src, m);
        AppendBytes(copy, m);
        free(copy);
        return *this;
    }
    int32_t old = len;
    Resize(CheckedLength(static_cast<int64_t>(old) + m));
    memcpy(data + old, src, static_cast<size_t>(m));
    return *this;
}

Str& Str::Append(const Str& src) {
    if (src.len == 0)
        return *this;
    return AppendBytes(src.data, src.len);
}

Str& Str::Append(const char* text) {
    if (!text)
        return *this;
    return AppendBytes(text, TextLength(text));
}

Str& Str::PrependBytes(const char* src, int32_t m) {
    if (!data) {
        ResizeDiscard(m);
        memcpy(data, src, static_cast<size_t>(m));
        return *this;
    }
    if (Owns(src)) {
        char* copy = CopyAside(src, m);
        PrependBytes(copy, m);
        free(copy);
        return *this;
    }
    char* old = data;
    int32_t oldLen = len;
    if (ResizeKeepOld(CheckedLength(static_cast<int64_t>(oldLen) + m), false)) {
        memcpy(data, src, static_cast<size_t>(m));
        memcpy(data + m, old, static_cast<size_t>(oldLen));
        free(old);
    } else {
        // The terminator moves along with the text.
        memmove(data + m, data, static_cast<size_t>(oldLen) + 1);
        memcpy(data, src, static_cast<size_t>(m));
    }
    return *this;
}

Str& Str::Prepend(const Str& src) {
    if (src.len == 0)
        return *this;
    return PrependBytes(src.data, src.len);
}

Str& Str::Prepend(const char* text) {
    if (!text)
        return *this;
    return PrependBytes(text, TextLength(text));
}

Str& Str::AssignPieces(const char* first, int32_t m1, const char* second, int32_t m2) {
    char* old = nullptr;
    if (Owns(first) || Owns(second)) {
        // Pieces of our own block: build in a fresh one, read the old to the end.
        old = data;
        data = nullptr;
        len = 0;
        cap = 0;
    }
    ResizeDiscard(CheckedLength(static_cast<int64_t>(m1) + m2));
    if (m1)
        memcpy(data, first, static_cast<size_t>(m1));
    if (m2)
        memcpy(data + m1, second, static_cast<size_t>(m2));
    free(old);
    return *this;
}

Str& Str::AssignConcat(const Str& first, const char* second) {
    if (data == first.data)
        return Append(second);
    if (second && data == second)
        return Prepend(first);
    if (!first.data && !second) {
        Release();
        return *this;
    }
    // `first` counts by its length: a list with zero bytes is copied whole.
    return AssignPieces(first.data, first.len, second, TextLength(second));
}

Str& Str::AssignConcat(const char* first, const char* second) {
    if (data == first)
        return Append(second);
    if (second && data == second)
        return Prepend(first);
    if (!first && !second) {
        Release();
        return *this;
    }
    return AssignPieces(first, TextLength(first), second, TextLength(second));
}

Str& Str::Substring(const Str& src, int32_t start, int32_t count, bool append) {
    int32_t n = src.len;
    if (start < 0)
        start = 0;
    if (start > n)
        start = n;
    if (count < 0 || count >= n - start)
        count = n - start;
    if (n == 0 || count == 0) {
        if (!append)
            ResizeDiscard(0);
        return *this;
    }
    if (&src == this) {
        char* old = data;
        bool allocated = ResizeKeepOld(count, true);
        memmove(data, old + start, static_cast<size_t>(count));
        if (allocated)
            free(old);
        data[count] = 0;
        return *this;
    }
    if (append)
        return AppendBytes(src.data + start, count);
    ResizeDiscard(count);
    memcpy(data, src.data + start, static_cast<size_t>(count));
    return *this;
}

Str& Str::TrimEnd(char ch) {
    if (!data)
        return *this;
    int32_t n = len;
    if (ch)
        while (n > 0 && data[n - 1] == ch)
            n--;
    else
        while (n > 0 && static_cast<unsigned char>(data[n - 1]) <= 32)
            n--;
    Terminate(n);
    return *this;
}
