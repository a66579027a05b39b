// A small JSON reader for the material library: the whole text parsed in
// one linear pass into a flat tree of nodes, each string a range of the text
// (or, when it held escapes, of a side buffer).  The general-purpose reader
// of the toolkit took most of a second and ten times the file in memory on a
// library of 50 MB; this one keeps a node of 40 bytes per value.
//
// Strict JSON (RFC 8259): one value, objects, arrays, strings with every
// escape (\uXXXX pairs joined into UTF-8), numbers, true, false, null.
// Numbers are read as doubles.  In an object with a repeated name the last
// one counts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace grittor {

class TJsonTree {
public:
    enum class Kind : uint8_t { Null, Bool, Number, String, Array, Object };
    using Node = uint32_t; // index of a node; NoNode for none
    static constexpr Node NoNode = UINT32_MAX;

    // Parses `text` (kept by reference: it must outlive the tree).  On
    // failure `error` is "at character N: why" (N 0-based) and the tree
    // is empty.
    bool Parse(std::string_view text, std::string &error);

    Node Root() const { return nodes_.empty() ? NoNode : 0; }
    Kind KindOf(Node n) const { return n == NoNode ? Kind::Null : nodes_[n].kind; }
    bool IsMissing(Node n) const { return n == NoNode; }
    bool Boolean(Node n) const { return nodes_[n].boolean; }
    double Number(Node n) const { return nodes_[n].number; }
    std::string_view Text(Node n) const { return View(nodes_[n].text); }
    // Children of an array or object, in order.
    uint32_t Count(Node n) const { return nodes_[n].count; }
    Node First(Node n) const { return nodes_[n].count ? n + 1 : NoNode; }
    Node Next(Node n) const { return nodes_[n].next; }
    // The value of an object's member, NoNode when absent.
    Node Member(Node object, std::string_view name) const;

private:
    struct Range {
        uint32_t off = 0;
        uint32_t len = 0;
        bool side = false; // in side_ rather than the text
    };
    struct Item {
        Kind kind = Kind::Null;
        bool boolean = false;
        uint32_t count = 0;
        Node next = NoNode; // next sibling
        double number = 0;
        Range text; // String
        Range key;  // name, for a member of an object
    };
    std::string_view View(const Range &r) const
    {
        return (r.side ? std::string_view(side_) : text_).substr(r.off, r.len);
    }
    bool Value(int depth);
    bool String(Range &out);
    bool Fail(const char *why);
    void SkipBlanks();

    std::string_view text_;
    size_t pos_ = 0;
    std::string error_;
    std::vector<Item> nodes_;
    std::string side_;
};

} // namespace grittor
