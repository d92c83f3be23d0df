// The template formatter on arbitrary templates. The template is read first
// by a parser of its own, which tells what each directive takes; arguments
// come from the input (integers, doubles, texts, Str objects, byte blocks
// as long as their {n}); the result is compared with the bytes the template
// stands for, its terminators and its length within the capacity, in up to
// three rounds on one target, with start 0 or inside the previous result.
#include <math.h>
#include <stddef.h>
#include <stdint.h>

#include "str_model.h"

// Every integer and pointer argument travels as one 64-bit slot and every
// double in a vector register: under this calling convention va_arg reads
// slots and vector registers apart, each in order, so one call with a fixed
// argument list serves any template. An int directive reads the low half of
// its slot.
#if !defined(__x86_64__) || defined(_WIN32)
#error "fuzz_format passes its arguments the x86-64 System V way"
#endif

using fuzz::Input;

namespace {

const int kSlots = 40;
const int kDoubles = 8; // no more than the vector registers
// A {n} beyond this gets a null pointer instead of a block.
const uint32_t kMaxBlock = 70000;

struct Directive {
    enum Kind { Literal, Int, Hex, Double, Text, StrArg, Bytes } kind;
    size_t at;      // offset in the template
    uint32_t n = 0; // {n}, or the byte of a literal or [n]
};

// An unsigned number: decimal, octal after a leading 0, hexadecimal after 0x
// or 0X; wraps at 32 bits.
uint32_t Number(const char*& p) {
    uint32_t n = 0;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        for (p += 2;; p++) {
            if (*p >= '0' && *p <= '9')
                n = n * 16 + static_cast<uint32_t>(*p - '0');
            else if ((*p | 0x20) >= 'a' && (*p | 0x20) <= 'f')
                n = n * 16 + static_cast<uint32_t>((*p | 0x20) - 'a' + 10);
            else
                return n;
        }
    }
    int radix = *p == '0' ? 8 : 10;
    while (*p >= '0' && *p < '0' + radix)
        n = n * static_cast<uint32_t>(radix) + static_cast<uint32_t>(*p++ - '0');
    return n;
}

// The directives of a template in order; an unclosed {n or [n ends it.
std::vector<Directive> Parse(const char* tmpl) {
    std::vector<Directive> out;
    for (const char* p = tmpl; *p;) {
        Directive d{Directive::Literal, static_cast<size_t>(p - tmpl)};
        char c = *p++;
        switch (c) {
        case '#':
            d.kind = Directive::Int;
            break;
        case '&':
            d.kind = Directive::Hex;
            break;
        case '^':
            d.kind = Directive::Double;
            break;
        case '$':
            d.kind = Directive::Text;
            break;
        case '~':
            d.kind = Directive::StrArg;
            break;
        case '{':
            d.kind = Directive::Bytes;
            d.n = Number(p);
            while (*p && *p != '}')
                p++;
            if (!*p++)
                return out;
            break;
        default:
            d.n = static_cast<uint8_t>(c);
            if (c == '[' && *p >= '0' && *p <= '9') {
                d.n = Number(p) & 0xFF;
                while (*p && *p != ']')
                    p++;
                if (!*p++)
                    return out;
            }
            break;
        }
        out.push_back(d);
    }
    return out;
}

// 10 significant digits: fixed form for decimal exponents -1 to 9, else
// d.ddddddddde+XXX; trailing fraction zeros dropped, the point kept.
std::string General(double v) {
    std::string out;
    if (v < 0) {
        out += '-';
        v = -v;
    }
    char buf[64];
    snprintf(buf, sizeof buf, "%.9e", v);
    std::string digits = std::string(1, buf[0]) + std::string(buf + 2, 9);
    int e = atoi(strchr(buf, 'e') + 1);
    auto trimmed = [](std::string f) {
        while (!f.empty() && f.back() == '0')
            f.pop_back();
        return f;
    };
    if (e < -1 || e > 9) {
        snprintf(buf, sizeof buf, "e%c%03d", e < 0 ? '-' : '+', e < 0 ? -e : e);
        return out + digits[0] + "." + trimmed(digits.substr(1)) + buf;
    }
    if (e == -1)
        return out + "0." + trimmed(digits);
    out += digits.substr(0, static_cast<size_t>(e) + 1);
    if (e < 9)
        out += "." + trimmed(digits.substr(static_cast<size_t>(e) + 1));
    return out;
}

// Finite and not zero: the forms of zero, infinities and NaN are the
// formatter's own choice.
double MakeDouble(Input& in) {
    uint64_t bits = in.U64();
    double v;
    if (bits & 1) {
        v = static_cast<double>(static_cast<int32_t>(bits >> 8)) / pow(10.0, (bits >> 40) % 14);
    } else {
        memcpy(&v, &bits, sizeof v);
    }
    if (!isfinite(v) || v == 0)
        v = static_cast<double>(static_cast<int32_t>(bits >> 1)) / 7.0 + 0.5;
    return v;
}

struct Call {
    std::string tmpl;
    uint64_t slots[kSlots] = {};
    double doubles[kDoubles] = {};
    std::string output; // the bytes the template stands for
    std::vector<std::unique_ptr<char[]>> storage;
};

// Reads one template and its arguments, truncating the template where it
// would need more arguments than one call passes.
void Prepare(Input& in, Call& call, Str* const* pool) {
    size_t n = in.U16() % 1500;
    call.tmpl = in.Bytes(n);
    call.tmpl.resize(strlen(call.tmpl.c_str()));
    int slots = 0;
    int doubles = 0;
    for (const Directive& d : Parse(call.tmpl.c_str())) {
        bool isDouble = d.kind == Directive::Double;
        bool usesSlot = d.kind != Directive::Literal && !isDouble;
        if ((isDouble && doubles == kDoubles) || (usesSlot && slots == kSlots)) {
            call.tmpl.resize(d.at);
            break;
        }
        std::string w;
        switch (d.kind) {
        case Directive::Literal:
            w = std::string(1, static_cast<char>(d.n));
            break;
        case Directive::Int: {
            int32_t v = static_cast<int32_t>(in.U32());
            call.slots[slots++] = static_cast<uint32_t>(v);
            w = std::to_string(v);
            break;
        }
        case Directive::Hex: {
            uint32_t v = in.U32();
            char buf[16];
            snprintf(buf, sizeof buf, "%X", v);
            call.slots[slots++] = v;
            w = buf;
            break;
        }
        case Directive::Double: {
            double v = MakeDouble(in);
            call.doubles[doubles++] = v;
            w = General(v);
            break;
        }
        case Directive::Text: {
            uint8_t b = in.U8();
            if (b % 5 == 0) {
                call.slots[slots++] = 0;
                break;
            }
            std::string text = in.Bytes((b & 0x80) ? (b & 0x7F) * 10 : b);
            text.resize(strlen(text.c_str()));
            call.storage.emplace_back(new char[text.size() + 1]);
            memcpy(call.storage.back().get(), text.c_str(), text.size() + 1);
            call.slots[slots++] = reinterpret_cast<uintptr_t>(call.storage.back().get());
            w = text;
            break;
        }
        case Directive::StrArg: {
            const Str* s = pool[in.U8() % 3];
            call.slots[slots++] = reinterpret_cast<uintptr_t>(s);
            if (s->len > 0)
                w.assign(s->data, static_cast<size_t>(s->len));
            break;
        }
        case Directive::Bytes: {
            if (d.n > kMaxBlock || in.U8() % 6 == 0) {
                call.slots[slots++] = 0;
                break;
            }
            std::string bytes = in.Bytes(d.n);
            // One byte more than asked, so that a reader that overran would
            // not stop at the block's end by luck.
            call.storage.emplace_back(new char[bytes.size() + 1]);
            memcpy(call.storage.back().get(), bytes.data(), bytes.size());
            call.storage.back()[bytes.size()] = 'z';
            call.slots[slots++] = reinterpret_cast<uintptr_t>(call.storage.back().get());
            w = bytes;
            break;
        }
        }
        call.output += w;
    }
}

void FormatAt(Str& s, int32_t start, const char* tmpl, ...) {
    va_list args;
    va_start(args, tmpl);
    s.FormatV(start, tmpl, args);
    va_end(args);
}

void Run(Str& s, int32_t start, const Call& c) {
    const uint64_t* g = c.slots;
    const double* d = c.doubles;
    const char* t = c.tmpl.c_str();
    static_assert(kSlots == 40 && kDoubles == 8, "the argument lists below");
#define KR_SLOTS                                                                                   \
    g[0], g[1], g[2], g[3], g[4], g[5], g[6], g[7], g[8], g[9], g[10], g[11], g[12], g[13], g[14], \
        g[15], g[16], g[17], g[18], g[19], g[20], g[21], g[22], g[23], g[24], g[25], g[26], g[27], \
        g[28], g[29], g[30], g[31], g[32], g[33], g[34], g[35], g[36], g[37], g[38], g[39], d[0],  \
        d[1], d[2], d[3], d[4], d[5], d[6], d[7]
    if (start == 0)
        s.Format(t, KR_SLOTS);
    else
        FormatAt(s, start, t, KR_SLOTS);
#undef KR_SLOTS
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in(data, size);
    uint8_t flags = in.U8();
    Str target(flags & 3);
    fuzz::Model m; // for Load only: the rounds compare with `expected`
    m.flags = target.flags;

    // The target before the first round: buffer-less, a block of exactly
    // its text, a large block holding a short text, or an empty block.
    uint8_t setup = in.U8();
    if ((setup & 3) == 1 || (setup & 3) == 2) {
        std::string content = in.Bytes(in.U16() % 700);
        fuzz::Load(target, m, content, (setup & 3) == 2 ? in.U16() % 3000 : 0);
    } else if ((setup & 3) == 3) {
        target.ResizeDiscard(0);
    }

    // Str arguments: one without a buffer, two with text (zero bytes too).
    Str empty, shortText, longText;
    shortText.Assign(in.Bytes(in.U8()).c_str());
    std::string longBytes = in.Bytes(in.U16() % 900);
    longText.ResizeDiscard(static_cast<int32_t>(longBytes.size()));
    memcpy(longText.data, longBytes.data(), longBytes.size());
    Str* const pool[3] = {&empty, &shortText, &longText};

    for (int round = 0; round < 3 && !in.Done(); round++) {
        uint8_t b = in.U8();
        // A start inside the block: the bytes before it, text or not, stay.
        int32_t start = (b & 3) == 3 ? static_cast<int32_t>(in.U16() % (target.cap + 1)) : 0;
        std::string before = start ? std::string(target.data, static_cast<size_t>(start)) : "";
        Call call;
        Prepare(in, call, pool);

        fuzz::CurrentOp = "Format";
        Run(target, start, call);

        std::string expected = before + call.output;
        int32_t len = static_cast<int32_t>(expected.size());
        FUZZ_CHECK(target.data != nullptr);
        FUZZ_CHECK(target.len == len);
        FUZZ_CHECK(memcmp(target.data, expected.data(), expected.size()) == 0);
        FUZZ_CHECK(len <= target.cap);
        FUZZ_CHECK(target.data[len] == 0);
        // The final resize writes both terminators; KeepCapacity sets only
        // the length and its one.
        if (!(target.flags & Str::KeepCapacity))
            FUZZ_CHECK(target.data[len + 1] == 0);
    }
    return 0;
}
