// The command line: a dialog run as ever, or an unattended run whose
// switches are read strictly.
#include <string.h>

#include "setup.h"

namespace {

// Blanks separate the words; bytes of UTF-8 text are never blanks.
bool IsBlank(char c) {
    return static_cast<unsigned char>(c) <= ' ';
}

// True when the text at `p` starts with `word` (ASCII letters in any case)
// without a blank in between.
bool Starts(const char* p, const char* word) {
    for (; *word; p++, word++) {
        if (IsBlank(*p) || (*p | 0x20) != (*word | 0x20))
            return false;
    }
    return true;
}

// True when the word at `p` is `word`.
bool IsWord(const char* p, const char* word) {
    return Starts(p, word) && IsBlank(p[strlen(word)]);
}

// "X:\..." or "\\server...": a folder that does not depend on the current
// drive or folder of whoever started the run.
bool IsFullPath(const Str& folder) {
    const char* s = folder.data;
    return folder.len >= 3 && ((s[1] == ':' && s[2] == '\\') || (s[0] == '\\' && s[1] == '\\'));
}

// Copies the text from `from` to `to`, less one pair of enclosing quotes.
void Unquote(Str& out, const char* from, const char* to) {
    if (to - from >= 2 && *from == '"' && to[-1] == '"') {
        from++;
        to--;
    }
    out.Concat(1, from, static_cast<int32_t>(to - from));
}

} // namespace

void ReadCommandLine(const char* p, CommandLine& out) {
    for (bool first = true;; first = false) {
        while (*p && IsBlank(*p))
            p++;
        if (!*p)
            return;
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
            if (!out.bad && (out.uninstall || !IsFullPath(out.folder)))
                out.bad = word;
            return;
        }
        if (Starts(p, "/LOG=")) {
            // A path with blanks comes in quotes.
            p += 5;
            if (*p == '"') {
                const char* quote = static_cast<const char*>(memchr(p + 1, '"', strlen(p + 1)));
                end = quote ? quote + 1 : p;
            }
            understood = end > p && IsBlank(*end);
            if (understood)
                Unquote(out.log, p, end);
        } else if (IsWord(p, "/S")) {
            out.silent = true;
        } else if (IsWord(p, "/ALLUSERS")) {
            out.allUsers = true;
        } else if (IsWord(p, "/NORESTART")) {
            // What deployment tools add: a silent run never restarts Windows.
        } else if (first && IsWord(p, "uninstall")) {
            out.uninstall = true;
        } else {
            understood = false;
        }
        if (!understood && !out.bad)
            out.bad = word;
        p = end;
    }
}
