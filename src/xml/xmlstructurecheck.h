#pragma once

#include <QByteArray>

#include <functional>

// Bounds on the shape of an answer, checked before the stream reader sees it. Within one token
// the reader cannot be stopped: it spends time quadratic in the attributes of a tag, memory in
// the nesting depth, and for every name time in the namespace declarations in scope. Store feeds
// nest four elements deep and carry at most four attributes (the feed element two namespace
// declarations) in tags of a few hundred bytes, so the limits leave a wide margin and only refuse a
// document whose structure is out of all proportion.
class XmlStructureCheck
{
public:
    static constexpr int MaxAttributesPerElement = 64;
    // Counted in code units of the document's encoding, from '<' to '>'.
    static constexpr int MaxTagLength = 16 * 1024;
    static constexpr int MaxDepth = 256;
    // In scope at any element; feeds declare three at most.
    static constexpr int MaxNamespaceDeclarations = 32;
    // A document type declaration, internal subset included; the passes refuse it at its token,
    // but the reader reads all of it first.
    static constexpr int MaxDeclarationLength = 4096;

    // True when no tag of the document, read in the encoding the stream reader will use,
    // exceeds the limits. Comments, CDATA sections, processing instructions and quoted attribute
    // values are passed over; the scan ends at a document type declaration, which the passes
    // refuse at its token, once it has found that declaration short. A scan that isAborted stops
    // early and answers false.
    static bool isWithinLimits(const QByteArray &data, const std::function<bool()> &isAborted = {});
};
