#pragma once
// An XML file held in memory as a tree with the root element "container",
// one child element per key whose text is the value.
//
// The constructor reads the file, replacing a missing or unusable one by a
// fresh file (a file that exists but cannot be read is left alone, and
// nothing is written over it); lookups and changes work on the tree, and
// WriteToFile writes the whole tree back. A change that would make the
// file unreadable at the next start is refused. The reader owns its tree. Every operation holds one
// lock for its duration, so any thread may call; only the constructor,
// WriteToFile and the destructor touch the disk and block for it.

#include "xml/XMLReader.h"

#include <mutex>
#include <optional>
#include <string>

class FileXMLReader : public XMLReader
{
public:
    // Outcomes of reading the file at construction.
    static constexpr int32 kStatusRead = 0;
    static constexpr int32 kStatusCreated = 1;  // there was no file
    static constexpr int32 kStatusReplaced = 2; // the file was unusable or unreadable
    // A file is read in blocks of this size.
    static constexpr size_t kBlockSize = 1000;

    // With `inSettingsDirectory` false `name` is the file's path; with it
    // true the path is the user settings directory, "/" and `name`.
    FileXMLReader(const std::string& name, bool inSettingsDirectory);
    // Writes the file one last time.
    ~FileXMLReader() override;

    int32 FileStatus() const;
    // True when the file exists but could not be read (kStatusReplaced):
    // it is left as it is and never written.
    bool IsUnreadable() const;
    const std::string& Path() const { return fPath; }

    // The tree itself, for callers that have the reader to themselves: it is
    // not guarded once handed out.
    XMLEntity* EntityTree();
    // Destroys the current tree and takes `tree`.
    void SetEntityTree(std::unique_ptr<XMLEntity> tree);

    // The text of the root's first child called `key` (ignoring case); none
    // when there is no such child or its text is empty.
    std::optional<std::string> Data(const std::string& key);
    // Replaces the text of the child called `key`, or appends such a child.
    // An empty value leaves the child without text. What the file cannot
    // hold (a control character, a byte that is not UTF-8) is stored as
    // U+FFFD. The file is not written. Refused, with false and nothing
    // changed, when `key` is not an XML name or when the file would grow
    // past what the reader takes (XMLReader's limits).
    bool SetData(const std::string& key, const std::string& value);
    bool SetIntData(const std::string& key, int value);
    // Stored rounded to a whole number.
    bool SetFloatData(const std::string& key, float value);
    // A flag stored as the presence of an element; refused as SetData is.
    bool Tag(const std::string& key);
    bool SetTag(const std::string& key, bool on);

    // Writes the tree to the path through a temporary file that replaces the
    // old file only once it is completely on disk, so a failed write leaves
    // the old file as it was; where no file can be made beside it (a
    // read-only directory), over the old file itself. True on success;
    // false, writing nothing, for a file that could not be read.
    bool WriteToFile();
    // Creates the directories above the path (mode 0744). True when they exist.
    bool CreatePath();

protected:
    // Keeps a finished root called "container" (ignoring case) as the tree.
    void OnEndEntity(std::unique_ptr<XMLEntity> root) override;

private:
    // A file this small cannot reach any of the reader's limits.
    static constexpr size_t kSmallFile = 64 * 1024;

    void _ReadFile();
    void _Unreadable();
    bool _SetDataLocked(const std::string& key, const std::string& value);
    // True when the tree's text reads back whole.
    bool _ReadsBackLocked() const;
    bool _WriteLocked();

    mutable std::mutex fLock;
    std::unique_ptr<XMLEntity> fTree;
    std::string fPath;
    int32 fStatus = kStatusRead;
    // False for a file that exists but could not be read.
    bool fWritable = true;
};
