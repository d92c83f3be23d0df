// Str::Concat with pieces taken from the target's own buffer (its data, any
// offset inside its text, its spare bytes), from a second object and from
// outside, with explicit and measured lengths, in rounds on one target whose
// content and capacity the input sets up before each round.
#include <stddef.h>
#include <stdint.h>

#include "str_model.h"

using fuzz::Input;
using fuzz::Load;
using fuzz::Model;

namespace {

fuzz::Piece OwnPiece(Input& in, Str& s, Model& m) {
    fuzz::Piece p;
    uint8_t kind = in.U8();
    bool measured = kind & 0x80;
    int32_t at;
    switch (kind & 3) {
    case 0:
        at = 0;
        break;
    case 1:
        at = s.len;
        break;
    case 2:
        // The spare bytes after the capacity: inside the block, past any
        // text, and within the range that counts as the target's own.
        p.ptr = s.data + s.cap + 1 + (kind >> 2) % 2;
        return p;
    default:
        at = in.U16() % (s.len + 1);
        break;
    }
    p.ptr = s.data + at;
    p.size = measured ? -1 : static_cast<int32_t>(in.U16() % (s.cap - at + 1));
    p.bytes = fuzz::BlockBytes(s, m, at, p.size);
    return p;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    uint8_t flags = in.U8();
    Str target(flags & 3), other((flags >> 2) & 3);
    Model tm, om;
    tm.flags = target.flags;
    om.flags = other.flags;
    std::string otherText = in.Bytes(in.U8());
    Load(other, om, otherText, in.U8() % 4);

    for (int round = 0; round < 8 && !in.Done(); round++) {
        uint8_t setup = in.U8();
        if ((setup & 3) == 1) {
            size_t n = (setup & 4) ? in.U16() % 1500 : in.U8() % 40;
            std::string text = in.Bytes(n);
            Load(target, tm, text, (setup & 8) ? in.U16() % 6000 : 0);
        } else if ((setup & 3) == 2) {
            target.Assign(static_cast<const char*>(nullptr));
            tm.Release();
        }
        fuzz::Verify(target, tm);

        int c = in.U8() % 17;
        std::vector<fuzz::Piece> pieces;
        std::vector<std::unique_ptr<char[]>> storage;
        for (int i = 0; i < c; i++) {
            uint8_t source = in.U8() % 8;
            if (source < 4 && target.data) {
                pieces.push_back(OwnPiece(in, target, tm));
            } else if (source == 4 && other.data) {
                fuzz::Piece p;
                int32_t at = in.U16() % (other.len + 1);
                p.ptr = other.data + at;
                p.size = (in.U8() & 1) ? -1 : static_cast<int32_t>(in.U16() % (other.len - at + 1));
                p.bytes = fuzz::BlockBytes(other, om, at, p.size);
                pieces.push_back(std::move(p));
            } else if (source == 5) {
                fuzz::Piece p; // null: empty whatever the length
                p.size = (in.U8() & 1) ? -1 : in.U8();
                pieces.push_back(std::move(p));
            } else {
                fuzz::Piece p;
                std::string bytes = in.Bytes(in.U8());
                storage.emplace_back(new char[bytes.size() + 1]);
                memcpy(storage.back().get(), bytes.c_str(), bytes.size() + 1);
                p.ptr = storage.back().get();
                bool measured = in.U8() & 1;
                p.size = measured ? -1 : static_cast<int32_t>(bytes.size());
                p.bytes = fuzz::Known(measured ? std::string(bytes.c_str()) : bytes);
                pieces.push_back(std::move(p));
            }
        }
        fuzz::ConcatAndCheck(target, tm, pieces);
        fuzz::Verify(other, om);
        // Pieces of its own text can multiply a text by 16 per round: a
        // large one starts over, so that one input stays fast.
        if (target.cap > 50000) {
            target.Assign(static_cast<const char*>(nullptr));
            tm.Release();
        }
    }
    return 0;
}
