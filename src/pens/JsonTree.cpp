#include "pens/JsonTree.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace grittor {

namespace {
constexpr int kMaxDepth = 200; // deeper is no library, and the stack stays small

void AppendUtf8(std::string &out, uint32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

bool TJsonTree::Parse(std::string_view text, std::string &error)
{
    nodes_.clear();
    side_.clear();
    text_ = text;
    pos_ = 0;
    if (text.size() >= std::numeric_limits<uint32_t>::max()) {
        error = "at character 0: text too large";
        return false;
    }
    // About one value per 12 characters in a library as written.
    nodes_.reserve(text.size() / 12 + 4);
    SkipBlanks();
    bool ok = Value(0);
    if (ok) {
        SkipBlanks();
        if (pos_ != text_.size())
            ok = Fail("garbage at the end of the document");
    }
    if (!ok) {
        error = error_;
        nodes_.clear();
        side_.clear();
        return false;
    }
    return true;
}

bool TJsonTree::Fail(const char *why)
{
    error_ = "at character " + std::to_string(pos_) + ": " + why;
    return false;
}

void TJsonTree::SkipBlanks()
{
    while (pos_ < text_.size()) {
        const char c = text_[pos_];
        if (c != ' ' && c != '\n' && c != '\r' && c != '\t')
            break;
        ++pos_;
    }
}

bool TJsonTree::String(Range &out)
{
    // pos_ is on the opening quote.
    const size_t start = ++pos_;
    while (pos_ < text_.size()) {
        const unsigned char c = static_cast<unsigned char>(text_[pos_]);
        if (c == '"') {
            out = {static_cast<uint32_t>(start), static_cast<uint32_t>(pos_ - start), false};
            ++pos_;
            return true;
        }
        if (c == '\\')
            break;
        if (c < 0x20)
            return Fail("control character in a string");
        ++pos_;
    }
    if (pos_ >= text_.size())
        return Fail("unterminated string");
    // Escapes: the string is built in the side buffer.
    out.side = true;
    out.off = static_cast<uint32_t>(side_.size());
    side_.append(text_.substr(start, pos_ - start));
    while (pos_ < text_.size()) {
        const unsigned char c = static_cast<unsigned char>(text_[pos_]);
        if (c == '"') {
            out.len = static_cast<uint32_t>(side_.size() - out.off);
            ++pos_;
            return true;
        }
        if (c < 0x20)
            return Fail("control character in a string");
        if (c != '\\') {
            side_ += static_cast<char>(c);
            ++pos_;
            continue;
        }
        if (++pos_ >= text_.size())
            break;
        const char e = text_[pos_++];
        switch (e) {
        case '"': side_ += '"'; break;
        case '\\': side_ += '\\'; break;
        case '/': side_ += '/'; break;
        case 'b': side_ += '\b'; break;
        case 'f': side_ += '\f'; break;
        case 'n': side_ += '\n'; break;
        case 'r': side_ += '\r'; break;
        case 't': side_ += '\t'; break;
        case 'u': {
            auto hex4 = [this](uint32_t &v) {
                if (pos_ + 4 > text_.size())
                    return false;
                v = 0;
                for (int k = 0; k < 4; ++k) {
                    const int d = HexDigit(text_[pos_ + static_cast<size_t>(k)]);
                    if (d < 0)
                        return false;
                    v = v * 16 + static_cast<uint32_t>(d);
                }
                pos_ += 4;
                return true;
            };
            uint32_t u = 0;
            if (!hex4(u))
                return Fail("bad \\u escape");
            if (u >= 0xD800 && u < 0xDC00 && pos_ + 1 < text_.size() && text_[pos_] == '\\' && text_[pos_ + 1] == 'u') {
                const size_t back = pos_;
                pos_ += 2;
                uint32_t low = 0;
                if (hex4(low) && low >= 0xDC00 && low < 0xE000)
                    u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
                else
                    pos_ = back;
            }
            if (u >= 0xD800 && u < 0xE000)
                u = 0xFFFD; // a lone half of a pair
            AppendUtf8(side_, u);
            break;
        }
        default:
            --pos_;
            return Fail("unknown escape in a string");
        }
    }
    return Fail("unterminated string");
}

bool TJsonTree::Value(int depth)
{
    if (depth > kMaxDepth)
        return Fail("nested too deeply");
    if (pos_ >= text_.size())
        return Fail("a value is missing");
    if (nodes_.size() >= NoNode - 1)
        return Fail("too many values");
    const Node self = static_cast<Node>(nodes_.size());
    nodes_.emplace_back();
    const char c = text_[pos_];
    switch (c) {
    case '{':
    case '[': {
        const bool object = c == '{';
        nodes_[self].kind = object ? Kind::Object : Kind::Array;
        ++pos_;
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == (object ? '}' : ']')) {
            ++pos_;
            return true;
        }
        Node previous = NoNode;
        uint32_t count = 0;
        for (;;) {
            Range key;
            if (object) {
                if (pos_ >= text_.size() || text_[pos_] != '"')
                    return Fail("a member name is missing");
                if (!String(key))
                    return false;
                SkipBlanks();
                if (pos_ >= text_.size() || text_[pos_] != ':')
                    return Fail("':' is missing after a member name");
                ++pos_;
                SkipBlanks();
            }
            const Node child = static_cast<Node>(nodes_.size());
            if (!Value(depth + 1))
                return false;
            nodes_[child].key = key;
            if (previous != NoNode)
                nodes_[previous].next = child;
            previous = child;
            ++count;
            SkipBlanks();
            if (pos_ >= text_.size())
                return Fail(object ? "'}' is missing" : "']' is missing");
            if (text_[pos_] == ',') {
                ++pos_;
                SkipBlanks();
                continue;
            }
            if (text_[pos_] == (object ? '}' : ']')) {
                ++pos_;
                nodes_[self].count = count;
                return true;
            }
            return Fail(object ? "',' or '}' expected" : "',' or ']' expected");
        }
    }
    case '"': {
        Range r;
        if (!String(r))
            return false;
        nodes_[self].kind = Kind::String;
        nodes_[self].text = r;
        return true;
    }
    case 't':
    case 'f':
    case 'n': {
        const std::string_view word = c == 't' ? "true" : c == 'f' ? "false" : "null";
        if (text_.substr(pos_, word.size()) != word)
            return Fail("unknown word");
        pos_ += word.size();
        nodes_[self].kind = c == 'n' ? Kind::Null : Kind::Bool;
        nodes_[self].boolean = c == 't';
        return true;
    }
    default:
        break;
    }
    // A number: -? (0 | [1-9][0-9]*) (. [0-9]+)? ([eE] [+-]? [0-9]+)?
    const size_t start = pos_;
    size_t p = pos_;
    auto digits = [&] {
        const size_t from = p;
        while (p < text_.size() && text_[p] >= '0' && text_[p] <= '9')
            ++p;
        return p > from;
    };
    if (p < text_.size() && text_[p] == '-')
        ++p;
    if (p < text_.size() && text_[p] == '0')
        ++p;
    else if (!digits())
        return Fail("not a value");
    if (p < text_.size() && text_[p] == '.') {
        ++p;
        if (!digits())
            return Fail("digits missing after '.'");
    }
    if (p < text_.size() && (text_[p] == 'e' || text_[p] == 'E')) {
        ++p;
        if (p < text_.size() && (text_[p] == '+' || text_[p] == '-'))
            ++p;
        if (!digits())
            return Fail("digits missing in an exponent");
    }
    double v = 0;
    const auto r = std::from_chars(text_.data() + start, text_.data() + p, v);
    if (r.ec == std::errc::result_out_of_range)
        v = std::strtod(std::string(text_.substr(start, p - start)).c_str(), nullptr); // +-inf or 0, as others read it
    else if (r.ec != std::errc())
        return Fail("not a number");
    nodes_[self].kind = Kind::Number;
    nodes_[self].number = v;
    pos_ = p;
    return true;
}

TJsonTree::Node TJsonTree::Member(Node object, std::string_view name) const
{
    if (object == NoNode || nodes_[object].kind != Kind::Object)
        return NoNode;
    Node found = NoNode;
    for (Node c = First(object); c != NoNode; c = nodes_[c].next)
        if (View(nodes_[c].key) == name)
            found = c; // the last of a repeated name
    return found;
}

} // namespace grittor
