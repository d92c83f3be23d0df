// A plain model of the string buffer for the fuzz targets: the terminator
// rule and the bytes of each block, kept beside real Str objects and
// compared with them after every operation. How large a block is and when it
// is replaced is the growth policy's, which the unit tests check: the model
// takes both from the real object after each resize, and keeps the bytes
// that the kind of resize promises to keep. Bytes the model cannot vouch for
// (new room of a grown block, a block handed out whole) are unknown; an
// operation whose outcome depends on them first adopts them from the real
// block, which it has not yet touched.
#pragma once

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "str.h"

// The fuzz targets stop at the first mismatch; libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            fprintf(stderr, "%s:%d: check failed: %s (%s)\n", __FILE__, __LINE__, #cond,           \
                    fuzz::CurrentOp);                                                              \
            abort();                                                                               \
        }                                                                                          \
    } while (0)

// The model's byte loops are no coverage worth steering by, and their
// comparison hooks would cost most of the run time.
#define FUZZ_MODEL __attribute__((no_sanitize("coverage")))

namespace fuzz {

// Name of the operation under test, for the failure message.
inline const char* CurrentOp = "";

// Reads the fuzzer's bytes as a stream of small numbers and byte strings.
// Past the end every read yields zeros, so any input is a whole program.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Done() const { return p_ >= end_; }
    uint8_t U8() { return p_ < end_ ? *p_++ : 0; }
    uint16_t U16() {
        uint16_t lo = U8();
        return static_cast<uint16_t>(lo | U8() << 8);
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | static_cast<uint32_t>(U16()) << 16;
    }
    uint64_t U64() {
        uint64_t lo = U32();
        return lo | static_cast<uint64_t>(U32()) << 32;
    }
    // n bytes, zeros included; past the end of the input a fixed filler.
    std::string Bytes(size_t n) {
        size_t k = static_cast<size_t>(end_ - p_);
        if (k > n)
            k = n;
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        s.append(n - k, 'q');
        return s;
    }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

const int16_t kUnknown = -1;

// What a resize primitive keeps when it replaces a block.
enum class Move {
    Keep,    // Resize: the old bytes up to the smaller size go along
    Discard, // ResizeDiscard: nothing goes along
    KeepOld, // ResizeKeepOld: nothing goes along, the old block stays alive
};

struct Model {
    uint8_t flags = 0;
    bool buffered = false;
    int32_t len = 0;
    int32_t cap = 0;            // the real object's, as of its last resize
    const char* data = nullptr; // the real block, as of its last resize
    // The bytes of the real block: at least cap + 3 of them (more after a
    // Concat that lowered cap to 0 and kept its block).
    std::vector<int16_t> block;

    void Release() {
        buffered = false;
        len = 0;
        cap = 0;
        data = nullptr;
        block.clear();
    }

    void Terminate(int32_t n) {
        len = n;
        block[static_cast<size_t>(n)] = 0;
        block[static_cast<size_t>(n) + 1] = 0;
    }

    // Follows a resize of s to length n: the capacity and the block are
    // s's own; what the model knows of the bytes stays as far as `how`
    // promises. True when the block was replaced.
    FUZZ_MODEL bool Grow(const Str& s, int32_t n, Move how, bool terminate = true) {
        FUZZ_CHECK(s.data != nullptr);
        FUZZ_CHECK(n >= 0 && n <= s.cap);
        // The old block stays alive under KeepOld, so a new one has another
        // address; the other kinds may free it first.
        bool replaced = !buffered || s.data != data || (how != Move::KeepOld && s.cap != cap);
        if (how == Move::Keep)
            block.resize(static_cast<size_t>(s.cap) + 3, kUnknown);
        else if (replaced)
            block.assign(static_cast<size_t>(s.cap) + 3, kUnknown);
        buffered = true;
        data = s.data;
        cap = s.cap;
        if (terminate)
            Terminate(n);
        else
            len = n;
        return replaced;
    }

    // Takes the real bytes [from, to) where the model has none.
    FUZZ_MODEL void Adopt(const Str& s, int32_t from, int32_t to) {
        for (int32_t i = from; i < to; i++) {
            if (block[static_cast<size_t>(i)] == kUnknown)
                block[static_cast<size_t>(i)] = static_cast<uint8_t>(s.data[i]);
        }
    }

    FUZZ_MODEL std::vector<int16_t> Span(int32_t from, int32_t count) const {
        return std::vector<int16_t>(block.begin() + from, block.begin() + from + count);
    }

    FUZZ_MODEL void Put(int32_t at, const std::vector<int16_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); i++)
            block[static_cast<size_t>(at) + i] = bytes[i];
    }

    // Length of the text at offset `at` (adopted first up to the length
    // terminator, so every byte on the way is known).
    FUZZ_MODEL int32_t TextLength(const Str& s, int32_t at) {
        Adopt(s, at, len + 1);
        int32_t i = at;
        while (block[static_cast<size_t>(i)] != 0)
            i++;
        return i - at;
    }
};

// A piece inside s's block at offset `at`: `size` bytes, or measured when
// size < 0 (then `at` must not lie past the length terminator).
inline std::vector<int16_t> BlockBytes(const Str& s, Model& m, int32_t at, int32_t size) {
    if (size < 0)
        size = m.TextLength(s, at);
    else
        m.Adopt(s, at, at + size);
    return m.Span(at, size);
}

FUZZ_MODEL inline std::vector<int16_t> Known(const std::string& bytes) {
    std::vector<int16_t> v;
    for (char c : bytes)
        v.push_back(static_cast<uint8_t>(c));
    return v;
}

// The real object against its model: presence of the block, length, every
// known byte (both terminators where the operation writes them), the
// terminator at len, len within cap, and the block and capacity unchanged
// since the model last followed a resize.
FUZZ_MODEL inline void Verify(const Str& s, const Model& m) {
    FUZZ_CHECK(s.flags == m.flags);
    FUZZ_CHECK((s.data != nullptr) == m.buffered);
    FUZZ_CHECK(s.data == m.data);
    FUZZ_CHECK(s.len == m.len);
    FUZZ_CHECK(s.cap == m.cap);
    FUZZ_CHECK(s.len >= 0 && s.len <= s.cap);
    if (!s.data) {
        FUZZ_CHECK(s.len == 0 && s.cap == 0);
        return;
    }
    FUZZ_CHECK(s.data[s.len] == 0);
    for (int32_t i = 0; i < s.cap + 3; i++) {
        int16_t b = m.block[static_cast<size_t>(i)];
        if (b != kUnknown && static_cast<uint8_t>(s.data[i]) != b) {
            fprintf(stderr, "byte %d: real %d, model %d (len %d cap %d)\n", i,
                    static_cast<uint8_t>(s.data[i]), b, s.len, s.cap);
            FUZZ_CHECK(!"block bytes match the model");
        }
    }
}

// Gives s the content `bytes` with `room` bytes of capacity beyond it (when
// the block is new; an old block that needs no change keeps its size).
inline void Load(Str& s, Model& m, const std::string& bytes, int32_t room) {
    int32_t n = static_cast<int32_t>(bytes.size());
    s.ResizeDiscard(n + room);
    m.Grow(s, n + room, Move::Discard);
    memcpy(s.data, bytes.data(), bytes.size());
    m.Put(0, Known(bytes));
    s.SetLength(n, true);
    if (m.cap > 0)
        m.Grow(s, n, Move::Keep);
}

// One piece of a Concat call and the bytes it stands for.
struct Piece {
    const char* ptr = nullptr;
    int32_t size = 0; // as passed; < 0: measured
    std::vector<int16_t> bytes;
};

// Str::Concat with up to 16 pieces, checked against the model: every
// piece's bytes as they were before the call (pieces of the target's own
// block included), the first piece left in place when it is the target's own
// text and the block stays.
inline void ConcatAndCheck(Str& s, Model& m, const std::vector<Piece>& pieces) {
    CurrentOp = "Concat";
    const char* p[16] = {};
    int32_t n[16] = {};
    int c = static_cast<int>(pieces.size());
    int32_t total = 0;
    for (int i = 0; i < c; i++) {
        p[i] = pieces[static_cast<size_t>(i)].ptr;
        n[i] = pieces[static_cast<size_t>(i)].size;
        total += static_cast<int32_t>(pieces[static_cast<size_t>(i)].bytes.size());
    }
    char* old = s.data;
    s.Concat(c, p[0], n[0], p[1], n[1], p[2], n[2], p[3], n[3], p[4], n[4], p[5], n[5], p[6], n[6],
             p[7], n[7], p[8], n[8], p[9], n[9], p[10], n[10], p[11], n[11], p[12], n[12], p[13],
             n[13], p[14], n[14], p[15], n[15]);
    bool allocated = m.Grow(s, total, Move::KeepOld);
    int32_t pos = 0;
    for (int i = 0; i < c; i++) {
        const Piece& piece = pieces[static_cast<size_t>(i)];
        int32_t size = static_cast<int32_t>(piece.bytes.size());
        if (size > 0 && !(!allocated && piece.ptr == old))
            m.Put(pos, piece.bytes);
        pos += size;
    }
    Verify(s, m);
}

} // namespace fuzz
