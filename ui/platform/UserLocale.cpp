#include "ui/platform/UserLocale.h"

namespace qrb::ui {

namespace {

bool IsAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

std::string QtPatternToClassLibrary(const std::string& qt) {
    std::string out;
    size_t i = 0;
    auto run = [&](char c) {
        size_t n = 0;
        while (i + n < qt.size() && qt[i + n] == c)
            ++n;
        return n;
    };
    auto literal = [&](const std::string& text) {
        if (text.empty()) return;
        out.push_back('"');
        out.append(text);
        out.push_back('"');
    };
    while (i < qt.size()) {
        const char c = qt[i];
        if (c == '\'') {
            // 'text' is literal, '' a single quote.
            std::string text;
            ++i;
            while (i < qt.size()) {
                if (qt[i] == '\'') {
                    if (i + 1 < qt.size() && qt[i + 1] == '\'') {
                        text += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text += qt[i++];
            }
            if (text.empty()) text.push_back('\'');
            literal(text);
            continue;
        }
        const size_t n = run(c);
        switch (c) {
        case 'd':
        case 'y':
        case 's':
        case 'z':
            out.append(n, c);
            break;
        case 'M':
            out.append(n, 'm');
            break;
        case 'h':
        case 'H':
            out.append(std::min<size_t>(n, 2), 'h');
            break;
        case 'm':
            out.append(std::min<size_t>(n, 2), 'n');
            break;
        case 'A':
        case 'a':
            out += "ampm";
            if (i + n < qt.size() && (qt[i + n] == 'P' || qt[i + n] == 'p')) {
                i += n + 1;
                continue;
            }
            break;
        case 't':
            while (!out.empty() && out.back() == ' ')
                out.pop_back();
            break;
        default:
            if (IsAsciiLetter(c))
                literal(std::string(n, c));
            else
                out.append(n, c);
            break;
        }
        i += n;
    }
    return out;
}

} // namespace qrb::ui
