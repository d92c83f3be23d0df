// The command line: a dialog run as ever, or an unattended run whose
// switches are read strictly.
#include <string.h>

#include "cmdline.h"

namespace {

// Blanks separate the words; bytes of UTF-8 text are never blanks.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// True when the text at `p` starts with `word` (ASCII letters in any case)
// without a blank in between.
bool Starts(const char* p, const char* word) {
    for (; *word; p++, word++) {
        if (IsBlank(*p) || FoldAscii(*p) != FoldAscii(*word))
            return false;
    }
    return true;
}

// True when the word at `p` is `word`.
bool IsWord(const char* p, const char* word) {
    return Starts(p, word) && IsBlank(p[strlen(word)]);
}

// Offset of the first backslash in `s` from `from`, or -1.
int32_t Separator(const Str& s, int32_t from) {
    for (int32_t i = from; i < s.len; i++) {
        if (s.data[i] == '\\')
            return i;
    }
    return -1;
}

// A folder in "X:\..." or "\\server\share\..." form, below the drive or the
// share: one that does not depend on the current drive or folder of
// whoever started the run. A drive or share root would be registered as a
// drive-relative "C:", and "\\?\..." and "\\.\..." are the system's own
// name spaces, not folders.
bool IsFullPath(const Str& folder) {
    const char* s = folder.data;
    int32_t rest;
    if (folder.len >= 3 && FoldAscii(*s) >= 'a' && FoldAscii(*s) <= 'z' && s[1] == ':' &&
        s[2] == '\\') {
        rest = 3;
    } else {
        int32_t server = folder.len > 2 && s[0] == '\\' && s[1] == '\\' && s[2] != '?' &&
                                 s[2] != '.' && s[2] != '\\'
                             ? Separator(folder, 2)
                             : -1;
        int32_t share = server > 0 && s[server + 1] != '\\' ? Separator(folder, server + 1) : -1;
        if (share < 0)
            return false;
        rest = share + 1;
    }
    return rest < folder.len && s[rest] != '\\';
}

// Copies the text from `from` to `to`, less one pair of enclosing quotes.
void Unquote(Str& out, const char* from, const char* to) {
    if (to - from >= 2 && *from == '"' && to[-1] == '"') {
        from++;
        to--;
    }
    out.Concat(1, from, static_cast<int32_t>(to - from));
}

// The switches that may come once each, in the order of CommandLine's
// Switch; the links are the install's to leave out.
const char* const kSwitches[] = {"/S", "/ALLUSERS", "/NOSTARTMENU", "/NOSTARTUP", "/NORESTART"};

} // namespace

void ReadCommandLine(const char* p, CommandLine& out) {
    for (bool first = true;; first = false) {
        while (*p && IsBlank(*p))
            p++;
        if (!*p)
            break;
        const char* word = p;
        const char* end = p;
        while (!IsBlank(*end))
            end++;
        bool understood = true;
        if (Starts(p, "/D=")) {
            // The rest of the line, blanks included, less the blanks after it.
            end = p + strlen(p);
            while (IsBlank(end[-1]))
                end--;
            Unquote(out.folder, p + 3, end);
            // The folder is the install's.
            understood = IsFullPath(out.folder) && !out.uninstall;
        } else if (Starts(p, "/LOG=")) {
            // A path with blanks comes in quotes, and goes on past the word.
            const char* from = p + 5;
            const char* to = end;
            if (*from == '"') {
                const char* quote =
                    static_cast<const char*>(memchr(from + 1, '"', strlen(from + 1)));
                to = quote ? quote + 1 : from;
            }
            understood = to > from && IsBlank(*to) && !out.log.data;
            if (understood) {
                Unquote(out.log, from, to);
                // Blanks alone name no file.
                understood = out.log.TrimEnd(0).len > 0;
                end = to;
            }
        } else if (first && IsWord(p, "uninstall")) {
            out.uninstall = true;
        } else {
            understood = false;
            for (int i = 0; i < CommandLine::kSwitches; i++) {
                if (IsWord(p, kSwitches[i])) {
                    // Twice is a line put together wrong.
                    understood = !out.on[i] && !(out.uninstall && (i == CommandLine::NoStartMenu ||
                                                                   i == CommandLine::NoStartUp));
                    out.on[i] = true;
                }
            }
        }
        if (!understood && !out.bad.data)
            out.bad.Concat(1, word, static_cast<int32_t>(end - word));
        if (*end == 0 || Starts(word, "/D="))
            break;
        p = end;
    }
}
