// Random sequences of string-buffer operations on three objects (each with
// its own growth flags), every result compared with the model: content,
// length within the capacity, the bytes the resize primitives keep, both
// terminator bytes, and the other objects left alone. Sources include the
// target itself, its own data pointer and texts inside its block.
#include <stddef.h>
#include <stdint.h>

#include "str_model.h"

using fuzz::Input;
using fuzz::kUnknown;
using fuzz::Model;
using fuzz::Move;

namespace {

const int kObjects = 3;
const int kMaxOps = 80;
// Self-appends double a text per step: larger objects start over, so that
// one input stays fast.
const int32_t kMaxCap = 16384;

struct World {
    Str* s[kObjects];
    Model m[kObjects];
};

// Lengths cluster around the interesting sizes: tiny, the MAX_PATH
// boundary, the formatter's 300, and large enough for the LargeSteps shrink.
int32_t Length(Input& in) {
    uint8_t b = in.U8();
    switch (b >> 6) {
    case 0:
        return b & 63;
    case 1:
        return 240 + (b & 63);
    case 2:
        return in.U16() % 1200;
    default:
        return in.U16() & 0x1FFF;
    }
}

// A text argument: null, outside every object, the target's own data, a
// text inside the target's block, or another object's text.
struct Text {
    const char* ptr = nullptr;
    std::vector<int16_t> bytes; // up to the first zero
    std::unique_ptr<char[]> storage;
};

Text MakeText(Input& in, World& w, int t) {
    Text x;
    Str& s = *w.s[t];
    Model& m = w.m[t];
    switch (in.U8() % 6) {
    case 0:
        break;
    case 1:
    case 2: {
        size_t n = in.U8();
        if (n & 0x80)
            n = (n & 0x7F) * 40;
        std::string bytes = in.Bytes(n);
        bytes.resize(strlen(bytes.c_str()));
        x.storage.reset(new char[bytes.size() + 1]);
        memcpy(x.storage.get(), bytes.c_str(), bytes.size() + 1);
        x.ptr = x.storage.get();
        x.bytes = fuzz::Known(bytes);
        break;
    }
    case 3:
        if (s.data) {
            x.ptr = s.data;
            x.bytes = fuzz::BlockBytes(s, m, 0, -1);
        }
        break;
    case 4:
        if (s.data) {
            int32_t at = in.U16() % (s.len + 1);
            x.ptr = s.data + at;
            x.bytes = fuzz::BlockBytes(s, m, at, -1);
        }
        break;
    default: {
        int o = (t + 1 + in.U8() % (kObjects - 1)) % kObjects;
        if (w.s[o]->data) {
            int32_t at = in.U16() % (w.s[o]->len + 1);
            x.ptr = w.s[o]->data + at;
            x.bytes = fuzz::BlockBytes(*w.s[o], w.m[o], at, -1);
        }
        break;
    }
    }
    return x;
}

std::vector<int16_t> Concatenated(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    std::vector<int16_t> v(a);
    v.insert(v.end(), b.begin(), b.end());
    return v;
}

void ModelAppend(const Str& s, Model& m, const std::vector<int16_t>& add) {
    int32_t old = m.len;
    m.Grow(s, old + static_cast<int32_t>(add.size()), Move::Keep);
    m.Put(old, add);
}

// In front: a fresh block gets the new bytes and then the old text; a block
// that stays has its text moved right together with its terminator.
void ModelPrepend(const Str& s, Model& m, const std::vector<int16_t>& add) {
    int32_t n = static_cast<int32_t>(add.size());
    if (!m.buffered) {
        m.Grow(s, n, Move::Discard);
        m.Put(0, add);
        return;
    }
    int32_t oldLen = m.len;
    std::vector<int16_t> old = m.Span(0, oldLen + 1);
    if (m.Grow(s, oldLen + n, Move::KeepOld)) {
        old.pop_back();
        m.Put(0, add);
        m.Put(n, old);
    } else {
        m.Put(n, m.Span(0, oldLen + 1));
        m.Put(0, add);
    }
}

void ModelAssign(const Str& s, Model& m, const std::vector<int16_t>& bytes) {
    m.Grow(s, static_cast<int32_t>(bytes.size()), Move::Discard);
    m.Put(0, bytes);
}

// SetLength on s and its model: to the first zero byte within cap + 1 when n
// < 0 (adopted before the call changes bytes), cut to cap.
void SetLength(Str& s, Model& m, int32_t n, bool keepCapacity) {
    int32_t want = n;
    if (m.cap > 0 && n < 0) {
        m.Adopt(s, 0, m.cap + 1);
        for (want = 0; want <= m.cap && m.block[static_cast<size_t>(want)] != 0;)
            want++;
    }
    s.SetLength(n, keepCapacity);
    if (m.cap > 0)
        m.Grow(s, want < m.cap ? want : m.cap, Move::Keep);
}

char Fold(int16_t c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : static_cast<char>(c);
}

// Runs one operation on object t.
void Step(Input& in, World& w, int t) {
    Str& s = *w.s[t];
    Model& m = w.m[t];
    int o = in.U8() % kObjects; // a second object, possibly t itself
    Str& src = *w.s[o];
    Model& sm = w.m[o];
    switch (in.U8() % 20) {
    case 0: {
        fuzz::CurrentOp = "Resize";
        int32_t n = Length(in);
        s.Resize(n);
        m.Grow(s, n, Move::Keep);
        return;
    }
    case 1: {
        fuzz::CurrentOp = "ResizeDiscard";
        int32_t n = Length(in);
        s.ResizeDiscard(n);
        m.Grow(s, n, Move::Discard);
        return;
    }
    case 2: {
        fuzz::CurrentOp = "ResizeKeepOld";
        int32_t n = Length(in);
        bool noTerminator = in.U8() & 1;
        char* old = s.data;
        Model before = m;
        bool got = s.ResizeKeepOld(n, noTerminator);
        // True exactly when the block is new: the caller frees the old one.
        bool replaced = m.Grow(s, n, Move::KeepOld, !noTerminator);
        FUZZ_CHECK(got == replaced);
        if (got && old) {
            // The caller's old block is untouched until the caller frees it.
            for (int32_t i = 0; i < before.cap + 3; i++) {
                int16_t b = before.block[static_cast<size_t>(i)];
                FUZZ_CHECK(b == kUnknown || static_cast<uint8_t>(old[i]) == b);
            }
            free(old);
        }
        if (noTerminator) {
            // As a caller would: fill the length, then terminate.
            std::string fill = in.Bytes(static_cast<size_t>(n));
            memcpy(s.data, fill.data(), fill.size());
            s.data[n] = 0;
            m.Put(0, fuzz::Known(fill));
            m.block[static_cast<size_t>(n)] = 0;
        }
        return;
    }
    case 3: {
        fuzz::CurrentOp = "GetBuffer";
        uint8_t b = in.U8();
        int32_t n = (b & 7) == 0 ? -1 - b % 3 : Length(in);
        int mode = (b >> 3) & 3;
        char* got = s.GetBuffer(n, mode);
        FUZZ_CHECK(got == s.data);
        if (n < 0) {
            if (m.buffered)
                m.Grow(s, m.len, Move::Keep);
        } else if (mode & Str::KeepContent) {
            int32_t old = m.len;
            m.Grow(s, n, Move::Keep);
            if (!(mode & Str::SizeAsLength) && n > old)
                m.Terminate(old);
        } else {
            m.Grow(s, n, Move::Discard);
            m.block[0] = 0;
            m.block[1] = 0;
            if (!(mode & Str::SizeAsLength))
                m.len = 0;
        }
        return;
    }
    case 4: {
        // A platform call fills the buffer, possibly to one byte past cap
        // without a zero, and the length is set from its count.
        fuzz::CurrentOp = "fill and SetLength";
        if (!s.data || s.cap == 0)
            return;
        size_t k = in.U16() % (static_cast<size_t>(s.cap) + 2);
        std::string fill = in.Bytes(k);
        memcpy(s.data, fill.data(), k);
        m.Put(0, fuzz::Known(fill));
        if (in.U8() & 1) {
            s.data[k] = 0;
            m.block[k] = 0;
        }
        uint8_t b = in.U8();
        SetLength(s, m, (b & 1) ? -1 : in.U16() % (s.cap + 50), b & 2);
        return;
    }
    case 5: {
        fuzz::CurrentOp = "SetLength";
        uint8_t b = in.U8();
        SetLength(s, m, (b & 1) ? -1 - b % 5 : in.U16() % (s.cap + 50), b & 2);
        return;
    }
    case 6: {
        fuzz::CurrentOp = "Assign(Str)";
        std::vector<int16_t> bytes = sm.buffered ? sm.Span(0, sm.len) : std::vector<int16_t>();
        bool buffered = sm.buffered;
        s.Assign(src);
        if (o == t)
            return;
        if (!buffered)
            m.Release();
        else
            ModelAssign(s, m, bytes);
        return;
    }
    case 7: {
        fuzz::CurrentOp = "Assign(text)";
        Text x = MakeText(in, w, t);
        bool same = x.ptr && x.ptr == s.data;
        s.Assign(x.ptr);
        if (same)
            return;
        if (!x.ptr)
            m.Release();
        else
            ModelAssign(s, m, x.bytes);
        return;
    }
    case 8: {
        fuzz::CurrentOp = "Append(Str)";
        std::vector<int16_t> bytes = sm.buffered ? sm.Span(0, sm.len) : std::vector<int16_t>();
        s.Append(src);
        if (!bytes.empty())
            ModelAppend(s, m, bytes);
        return;
    }
    case 9: {
        fuzz::CurrentOp = "Append(text)";
        Text x = MakeText(in, w, t);
        s.Append(x.ptr);
        if (x.ptr)
            ModelAppend(s, m, x.bytes);
        return;
    }
    case 10: {
        fuzz::CurrentOp = "Prepend(Str)";
        std::vector<int16_t> bytes = sm.buffered ? sm.Span(0, sm.len) : std::vector<int16_t>();
        s.Prepend(src);
        if (!bytes.empty())
            ModelPrepend(s, m, bytes);
        return;
    }
    case 11: {
        fuzz::CurrentOp = "Prepend(text)";
        Text x = MakeText(in, w, t);
        s.Prepend(x.ptr);
        if (x.ptr)
            ModelPrepend(s, m, x.bytes);
        return;
    }
    case 12: {
        fuzz::CurrentOp = "AssignConcat(Str, text)";
        Text second = MakeText(in, w, t);
        std::vector<int16_t> first = sm.buffered ? sm.Span(0, sm.len) : std::vector<int16_t>();
        bool firstBuffered = sm.buffered;
        bool targetIsFirst = s.data == src.data;
        bool targetIsSecond = second.ptr && s.data == second.ptr;
        s.AssignConcat(src, second.ptr);
        if (targetIsFirst) {
            if (second.ptr)
                ModelAppend(s, m, second.bytes);
        } else if (targetIsSecond) {
            if (!first.empty())
                ModelPrepend(s, m, first);
        } else if (!firstBuffered && !second.ptr) {
            m.Release();
        } else {
            ModelAssign(s, m, Concatenated(first, second.bytes));
        }
        return;
    }
    case 13: {
        fuzz::CurrentOp = "AssignConcat(text, text)";
        Text first = MakeText(in, w, t);
        Text second = MakeText(in, w, t);
        bool targetIsFirst = s.data == first.ptr;
        bool targetIsSecond = second.ptr && s.data == second.ptr;
        s.AssignConcat(first.ptr, second.ptr);
        if (targetIsFirst) {
            if (second.ptr)
                ModelAppend(s, m, second.bytes);
        } else if (targetIsSecond) {
            if (first.ptr)
                ModelPrepend(s, m, first.bytes);
        } else if (!first.ptr && !second.ptr) {
            m.Release();
        } else {
            ModelAssign(s, m, Concatenated(first.bytes, second.bytes));
        }
        return;
    }
    case 14: {
        fuzz::CurrentOp = "Substring";
        int32_t n = src.len;
        int32_t start = static_cast<int32_t>(in.U16() % (n + 4)) - 2;
        int32_t count = static_cast<int32_t>(in.U16() % (n + 4)) - 2;
        bool append = in.U8() & 1;
        s.Substring(src, start, count, append);
        if (start < 0)
            start = 0;
        if (start > n)
            start = n;
        if (count < 0 || count >= n - start)
            count = n - start;
        if (n == 0 || count == 0) {
            if (!append)
                m.Grow(s, 0, Move::Discard);
            return;
        }
        std::vector<int16_t> piece = sm.Span(start, count);
        if (o == t) {
            // The piece alone, moved to the front; only data[count] is
            // written (not data[count + 1]).
            m.Grow(s, count, Move::KeepOld, false);
            m.Put(0, piece);
            m.block[static_cast<size_t>(count)] = 0;
        } else if (append) {
            ModelAppend(s, m, piece);
        } else {
            ModelAssign(s, m, piece);
        }
        return;
    }
    case 15: {
        fuzz::CurrentOp = "TrimEnd";
        static const char kChars[] = {0, '\\', ' ', 'a', 'q'};
        uint8_t b = in.U8();
        char ch = b < 200 ? kChars[b % 5] : static_cast<char>(b);
        if (m.buffered)
            m.Adopt(s, 0, m.len);
        s.TrimEnd(ch);
        if (!m.buffered)
            return;
        int32_t n = m.len;
        while (n > 0 && (ch ? m.block[static_cast<size_t>(n) - 1] == static_cast<uint8_t>(ch)
                            : m.block[static_cast<size_t>(n) - 1] <= 32))
            n--;
        m.Grow(s, n, Move::Keep);
        return;
    }
    case 16: {
        fuzz::CurrentOp = "Concat";
        int c = in.U8() % 17;
        std::vector<fuzz::Piece> pieces;
        std::vector<std::unique_ptr<char[]>> storage;
        for (int i = 0; i < c; i++) {
            fuzz::Piece p;
            uint8_t kind = in.U8();
            bool measured = kind & 0x80;
            int which = (kind & 3) == 3 ? -1 : (kind & 3); // -1: outside every object
            if (which >= 0 && w.s[which]->data) {
                Str& ps = *w.s[which];
                int32_t at = in.U16() % (ps.len + 1);
                p.ptr = ps.data + at;
                p.size = measured ? -1 : static_cast<int32_t>(in.U16() % (ps.cap - at + 1));
                p.bytes = fuzz::BlockBytes(ps, w.m[which], at, p.size);
            } else if (which < 0) {
                std::string bytes = in.Bytes(in.U8());
                storage.emplace_back(new char[bytes.size() + 1]);
                memcpy(storage.back().get(), bytes.c_str(), bytes.size() + 1);
                p.ptr = storage.back().get();
                p.size = measured ? -1 : static_cast<int32_t>(bytes.size());
                p.bytes = fuzz::Known(measured ? std::string(bytes.c_str()) : bytes);
            } else {
                p.size = measured ? -1 : in.U8();
            }
            pieces.push_back(std::move(p));
        }
        fuzz::ConcatAndCheck(s, m, pieces);
        return;
    }
    case 17: {
        fuzz::CurrentOp = "EqualNoCase";
        bool want;
        if (m.len != sm.len) {
            want = false;
        } else if (!m.buffered || !sm.buffered) {
            want = !m.buffered && !sm.buffered;
        } else {
            m.Adopt(s, 0, m.len);
            sm.Adopt(src, 0, sm.len);
            want = true;
            for (int32_t i = 0; i < m.len; i++)
                want = want && Fold(m.block[static_cast<size_t>(i)]) ==
                                   Fold(sm.block[static_cast<size_t>(i)]);
        }
        FUZZ_CHECK(s.EqualNoCase(src) == want);
        return;
    }
    case 18:
    case 19: {
        bool ends = in.U8() & 1;
        fuzz::CurrentOp = ends ? "EndsWith" : "StartsWith";
        Text x = MakeText(in, w, t);
        int32_t size = static_cast<int32_t>(x.bytes.size());
        uint8_t b = in.U8();
        // An explicit count may take in the text's terminator, no more.
        int32_t n = (b & 1) ? -1 : static_cast<int32_t>(b >> 1) % (size + 2);
        bool want = false;
        if (s.data && x.ptr) {
            int32_t k = n < 0 ? size : n;
            if (k <= m.len) {
                m.Adopt(s, 0, m.len);
                int32_t from = ends ? m.len - k : 0;
                want = true;
                for (int32_t i = 0; i < k; i++) {
                    int16_t tb = i < size ? x.bytes[static_cast<size_t>(i)] : 0;
                    want = want && m.block[static_cast<size_t>(from + i)] == tb;
                }
            }
        }
        bool got = ends ? s.EndsWith(x.ptr, n) : s.StartsWith(x.ptr, n);
        FUZZ_CHECK(got == want);
        return;
    }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    uint8_t flags = in.U8();
    Str a(flags & 3), b((flags >> 2) & 3), c((flags >> 4) & 3);
    World w{{&a, &b, &c}, {}};
    for (int i = 0; i < kObjects; i++)
        w.m[i].flags = w.s[i]->flags;
    for (int op = 0; op < kMaxOps && !in.Done(); op++) {
        int t = in.U8() % kObjects;
        Step(in, w, t);
        // Every byte of the target; the others only by their fields (a write
        // into their blocks is ASan's to find), every byte at the end.
        fuzz::Verify(*w.s[t], w.m[t]);
        for (int i = 0; i < kObjects; i++) {
            const Str& s = *w.s[i];
            FUZZ_CHECK(s.len == w.m[i].len && s.cap == w.m[i].cap);
            FUZZ_CHECK((s.data != nullptr) == w.m[i].buffered && (!s.data || s.data[s.len] == 0));
            if (s.cap > kMaxCap) {
                w.s[i]->Assign(static_cast<const char*>(nullptr));
                w.m[i].Release();
            }
        }
    }
    for (int i = 0; i < kObjects; i++)
        fuzz::Verify(*w.s[i], w.m[i]);
    return 0;
}
