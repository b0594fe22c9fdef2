#pragma once
// An XML file held in memory as a tree with the root element "container",
// one child element per key whose text is the value.
//
// The constructor reads the file, replacing a missing or unusable one by a
// fresh file; lookups and changes work on the tree, and WriteToFile writes
// the whole tree back. The reader owns its tree. Every operation holds one
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
    static constexpr int32 kStatusReplaced = 2; // the file was unusable
    // A file is read in blocks of this size.
    static constexpr size_t kBlockSize = 1000;

    // With `inSettingsDirectory` false `name` is the file's path; with it
    // true the path is the user settings directory, "/" and `name`.
    FileXMLReader(const std::string& name, bool inSettingsDirectory);
    // Writes the file one last time.
    ~FileXMLReader() override;

    int32 FileStatus() const;
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
    // U+FFFD. The file is not written.
    void SetData(const std::string& key, const std::string& value);
    void SetIntData(const std::string& key, int value);
    // Stored rounded to a whole number.
    void SetFloatData(const std::string& key, float value);
    // A flag stored as the presence of an element.
    bool Tag(const std::string& key);
    void SetTag(const std::string& key, bool on);

    // Writes the tree to the path through a temporary file that replaces the
    // old file only once it is completely on disk, so a failed write leaves
    // the old file as it was. True on success.
    bool WriteToFile();
    // Creates the directories above the path (mode 0744). True when they exist.
    bool CreatePath();

protected:
    // Keeps a finished root called "container" (ignoring case) as the tree.
    void OnEndEntity(std::unique_ptr<XMLEntity> root) override;

private:
    void _ReadFile();
    void _SetDataLocked(const std::string& key, const std::string& value);
    bool _WriteLocked();

    mutable std::mutex fLock;
    std::unique_ptr<XMLEntity> fTree;
    std::string fPath;
    int32 fStatus = kStatusRead;
};
