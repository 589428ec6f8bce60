#pragma once
// Persistence base: opens, parses and writes XML files; subclasses fill and read the document.
#include <string>

namespace pugi {
class xml_document;
}

class cXMLStorage {
public:
    virtual ~cXMLStorage() = default;

    pugi::xml_document* Document = nullptr; // the document of the load or save under way
    std::string FileName;                   // module last loaded or saved; empty when untitled

    virtual void Save(pugi::xml_document& doc, const std::string& path) = 0;
    virtual void Load(pugi::xml_document& doc, const std::string& path) = 0;
    // Parses the file and calls Load. A missing or malformed file raises brindle::Error and
    // leaves the object and FileName as they were.
    virtual void LoadFile(const std::string& path);
    // Writes through a temporary file renamed over the target, so a failed write raises
    // brindle::Error and leaves the old file and FileName as they were.
    void SaveFile(const std::string& path);
    // The same write, for a copy: FileName stays what it was (a recovery copy is not the song's file).
    void WriteFile(const std::string& path);

protected:
    // Called after parsing, before Load; throws to refuse a document.
    virtual void Accept(const pugi::xml_document& doc, const std::string& path);
};

namespace brindle {
// Writes bytes to path through a temporary file beside it, flushed and renamed over the target.
void WriteFileAtomically(const std::string& path, const std::string& bytes);
} // namespace brindle
