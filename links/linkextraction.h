#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "links/linklist.h"

enum class TFilterMode
{
    Contains,
    EndsWith
};

// Finds links in a page fed in pieces of any size, by a plain scan of the text rather than an
// HTML parser. The page text is the page's bytes without any CR, and without the LF of a CR LF
// pair, up to the first byte 0x1A. What is found does not depend on where the pieces are cut,
// and only a bounded window of the page is held at a time, whatever the page's size.
class TLinkScanner
{
  public:
    enum class TKind
    {
        Links, // the value after every "HREF=", whatever tag it stands in
        Images // the src of every <img> tag
    };
    struct TFound
    {
        // Cut out of its tag, entities decoded; for Links without any "#" part. May be empty.
        std::string Link;
        // The text from the value on to the tag's ">" (at most LabelBytes of it), for the
        // label of a ".cgi" link; only valid during the call.
        std::string_view TagText;
        // The href of a <base> tag that is no part of a comment.
        bool Base = false;
    };
    using TOnFound = std::function<void(TFound& found)>;

    // A value that does not end within this many bytes is no link any server takes, and is
    // passed over; it is also how far the scan looks ahead, and so what it holds at most
    // besides one piece.
    static constexpr std::size_t MaxLinkBytes = 64 * 1024;
    static constexpr std::size_t LabelBytes = 1024;

    TLinkScanner(TKind kind, TOnFound onFound);
    void Feed(std::string_view bytes);
    // Ends the page: what waited for more text is settled.
    void Finish();
    // Whether a byte 0x1A ended the page, so that nothing more need be read.
    bool Ended() const { return ended; }
    // The most page text held at any time.
    std::size_t PeakHeldBytes() const { return peakHeld; }

  private:
    void Append(std::string_view bytes);
    void Scan(bool final);
    std::size_t FindKeyword(std::size_t from) const;
    bool InBaseTag(std::size_t keyword) const;
    // Follows "<!--" and "-->" up to limit, so that inComment tells whether limit lies in a comment.
    void TrackComments(std::size_t limit);

    TKind kind;
    TOnFound onFound;
    std::string text;      // the page text from a little before pos to the end of what was fed
    std::size_t pos = 0;   // where the scan goes on
    bool skipping = false; // looking for the ">" that ends the current tag
    bool pendingLink = false;
    TFound pending;
    std::string pendingTag;
    bool afterCR = false;
    bool ended = false;
    std::size_t peakHeld = 0;
    // Where TrackComments goes on, and whether the text there is inside a comment.
    std::size_t commentsFrom = 0;
    bool inComment = false;
};

// Clears the list, then appends the page's links that pass the filter, each once, in page order.
// Returns the address the page's relative links resolve against: its <base href> (resolved
// against pageAddress), or else pageAddress. Given the page's address, links that lead back to
// the page (with or without another query) or to a folder holding it are passed over: a folder
// listing's sort and parent links are no files. Raises Exception when the file cannot be read.
// Given checksumLists, the links to checksum lists (see ChecksumListKind) are added to it too,
// whatever the filter, as they stand in the page.
std::string ExtractLinks(const std::string& pageFile, std::string_view filterText, TFilterMode mode,
                         TLinkList& list, std::string_view pageAddress = {},
                         std::vector<std::string>* checksumLists = nullptr);
std::string ExtractLinksFromText(std::string_view pageBytes, std::string_view filterText, TFilterMode mode,
                                 TLinkList& list, std::string_view pageAddress = {});

// Appends the page's image sources that the list does not hold yet, unfiltered.
void ExtractImageLinks(const std::string& pageFile, TLinkList& list);
void ExtractImageLinksFromText(std::string_view pageBytes, TLinkList& list);

// Whether a link passes the file-name filter.
bool PassesFilter(std::string_view link, std::string_view filterText, TFilterMode mode);

// Decodes the character references an attribute value may hold: &amp; &lt; &gt; &quot; &apos;
// and &#N; &#xN; (as UTF-8). One that names a control character, or no character, is dropped.
std::string DecodeEntities(std::string_view text);
