#include "xml/FileXMLReader.h"

#include "kit/SettingsDirectory.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <expat.h>

namespace {

// The text before the last "/", or empty when there is none.
std::string DirectoryOf(const std::string& path)
{
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// `text` as the file can hold it: XML 1.0 text is well-formed UTF-8 without
// the control characters other than tab, line feed and carriage return (not
// even as references), and without U+FFFE and U+FFFF. Each byte or
// character that breaks a rule becomes U+FFFD, so that a value taken from
// a directory name or a typed text can never make the whole file unreadable
// at the next start.
std::string StorableText(const std::string& text)
{
    static const std::string kReplacement = "\xef\xbf\xbd";
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            if (lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r')
                out += kReplacement;
            else
                out += static_cast<char>(lead);
            ++i;
            continue;
        }
        size_t length = 0;
        uint32_t code = 0;
        uint32_t smallest = 0;
        if (lead >= 0xc2 && lead <= 0xdf) {
            length = 2, code = lead & 0x1f, smallest = 0x80;
        } else if (lead >= 0xe0 && lead <= 0xef) {
            length = 3, code = lead & 0x0f, smallest = 0x800;
        } else if (lead >= 0xf0 && lead <= 0xf4) {
            length = 4, code = lead & 0x07, smallest = 0x10000;
        }
        bool valid = length > 0 && i + length <= text.size();
        for (size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xc0) == 0x80;
            code = code << 6 | (next & 0x3f);
        }
        valid = valid && code >= smallest && code <= 0x10ffff &&
                !(code >= 0xd800 && code <= 0xdfff) && code != 0xfffe && code != 0xffff;
        if (valid) {
            out.append(text, i, length);
            i += length;
        } else {
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

void Trace(const char* line)
{
    std::fputs(line, stdout);
    std::fflush(stdout);
}

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<size_t>(written);
    }
    return true;
}

// Writes `text` over the file at `path` itself.
bool RewriteInPlace(const std::string& path, const std::string& text)
{
    int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    return close(fd) == 0 && ok;
}

// True when `name` is an XML name, so that it can be an element's name:
// asked of expat itself, the reader's own parser.
bool IsXmlName(const std::string& name)
{
    if (name.empty() || name.find_first_of("<>/\"'=& \t\r\n") != std::string::npos)
        return false;
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (parser == nullptr)
        return false;
    const std::string element = "<" + name + "/>";
    bool ok =
        XML_Parse(parser, element.data(), static_cast<int>(element.size()), 1) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok;
}

// Collects the roots of the text it is fed, to check that a tree's text
// reads back whole.
class ReadBack : public XMLReader
{
public:
    bool Reads(const std::string& text)
    {
        for (size_t at = 0; at < text.size() && !NeedsReset(); at += FileXMLReader::kBlockSize)
            FeedData(text.data() + at, std::min(FileXMLReader::kBlockSize, text.size() - at));
        return fRoots == 1 && !NeedsReset();
    }

protected:
    void OnEndEntity(std::unique_ptr<XMLEntity>) override { ++fRoots; }

private:
    int fRoots = 0;
};

// Replaces the file at `path` by one holding `text`. The text goes to a new
// file beside it, reaches the disk, and only then takes the old file's name,
// so a crash or a full disk leaves either the old file or the new one.
bool ReplaceFile(const std::string& path, const std::string& text)
{
    // Through a symbolic link, replace the file it points to, not the link.
    std::string target = path;
    if (char* real = realpath(path.c_str(), nullptr); real != nullptr) {
        target = real;
        std::free(real);
    }
    struct stat old
    {
    };
    const bool hadFile = stat(target.c_str(), &old) == 0;

    static std::atomic<unsigned> sCounter{0};
    std::string temporary;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temporary = target + ".tmp." + std::to_string(getpid()) + "." +
                    std::to_string(sCounter.fetch_add(1));
        fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    // No new file can be made beside it (a read-only directory holding a
    // writable file): the file itself is rewritten, which a crash midway
    // could leave cut, rather than not at all.
    if (fd < 0)
        return hadFile && RewriteInPlace(target, text);
    if (hadFile)
        (void)fchmod(fd, old.st_mode & 07777); // keep a mode the user chose
    bool ok = WriteAll(fd, text) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    ok = ok && rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        unlink(temporary.c_str());
        return false;
    }
    // Make the new name itself durable; the file is complete either way.
    std::string directory = DirectoryOf(target);
    if (int dirFd =
            open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        dirFd >= 0) {
        (void)fsync(dirFd);
        close(dirFd);
    }
    return true;
}

} // namespace

FileXMLReader::FileXMLReader(const std::string& name, bool inSettingsDirectory)
    : fPath(inSettingsDirectory ? kit::UserSettingsDirectory() + "/" + name : name)
{
    _ReadFile();
}

FileXMLReader::~FileXMLReader()
{
    WriteToFile();
}

int32 FileXMLReader::FileStatus() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return fStatus;
}

bool FileXMLReader::IsUnreadable() const
{
    std::lock_guard<std::mutex> lock(fLock);
    return !fWritable;
}

XMLEntity* FileXMLReader::EntityTree()
{
    std::lock_guard<std::mutex> lock(fLock);
    return fTree.get();
}

void FileXMLReader::SetEntityTree(std::unique_ptr<XMLEntity> tree)
{
    std::lock_guard<std::mutex> lock(fLock);
    fTree = std::move(tree);
}

std::optional<std::string> FileXMLReader::Data(const std::string& key)
{
    std::lock_guard<std::mutex> lock(fLock);
    const XMLEntity* child = fTree != nullptr ? fTree->Child(key.c_str()) : nullptr;
    if (child == nullptr || child->Data()[0] == '\0')
        return std::nullopt;
    return std::string(child->Data());
}

bool FileXMLReader::SetData(const std::string& key, const std::string& value)
{
    std::lock_guard<std::mutex> lock(fLock);
    return _SetDataLocked(key, value);
}

bool FileXMLReader::SetIntData(const std::string& key, int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%d", value);
    return SetData(key, text);
}

bool FileXMLReader::SetFloatData(const std::string& key, float value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(value));
    return SetData(key, text);
}

bool FileXMLReader::Tag(const std::string& key)
{
    std::lock_guard<std::mutex> lock(fLock);
    return fTree != nullptr && fTree->Child(key.c_str()) != nullptr;
}

bool FileXMLReader::SetTag(const std::string& key, bool on)
{
    std::lock_guard<std::mutex> lock(fLock);
    if (fTree == nullptr)
        return false;
    if (!on) {
        fTree->RemoveChild(key.c_str());
        return true;
    }
    if (fTree->Child(key.c_str()) != nullptr)
        return true;
    if (!IsXmlName(key))
        return false;
    XMLEntity* added = fTree->AddChild(key.c_str(), nullptr, nullptr);
    if (_ReadsBackLocked())
        return true;
    fTree->RemoveChild(added);
    return false;
}

bool FileXMLReader::WriteToFile()
{
    std::lock_guard<std::mutex> lock(fLock);
    return _WriteLocked();
}

bool FileXMLReader::CreatePath()
{
    std::string directory = DirectoryOf(fPath);
    return directory.empty() || kit::CreateDirectories(directory, 0744);
}

void FileXMLReader::OnEndEntity(std::unique_ptr<XMLEntity> root)
{
    if (strcasecmp(root->Name(), "container") != 0)
        return;
    std::lock_guard<std::mutex> lock(fLock);
    fTree = std::move(root);
}

void FileXMLReader::_ReadFile()
{
    CreatePath();
    int fd = open(fPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT) {
        // There is a file, but it cannot be read (its mode, say): it may
        // hold the user's values, so it is neither replaced nor written.
        _Unreadable();
        return;
    }
    if (fd < 0) {
        fTree = std::make_unique<XMLEntity>("container");
        fStatus = kStatusCreated;
    } else {
        bool failed = false;
        char block[kBlockSize];
        for (;;) {
            ssize_t count = read(fd, block, sizeof block);
            if (count < 0 && errno == EINTR)
                continue;
            if (count < 0) {
                close(fd);
                _Unreadable();
                return;
            }
            if (count == 0)
                break;
            Trace(("===" + std::to_string(count) + "\n").c_str());
            FeedData(block, static_cast<size_t>(count));
            // A later block would start a new document, so the first error
            // decides; it also ends reading an oversized file early.
            if (NeedsReset()) {
                failed = true;
                break;
            }
        }
        close(fd);
        Trace("=!==0\n");
        if (!failed && fTree != nullptr) {
            fStatus = kStatusRead;
            Trace("beep\n");
            return;
        }
        Trace("weep\n");
        fTree = std::make_unique<XMLEntity>("container");
        fStatus = kStatusReplaced;
    }
    _WriteLocked();
    Trace("lkue\n");
}

void FileXMLReader::_Unreadable()
{
    Trace("weep\n");
    fTree = std::make_unique<XMLEntity>("container");
    fStatus = kStatusReplaced;
    fWritable = false;
}

bool FileXMLReader::_SetDataLocked(const std::string& key, const std::string& value)
{
    if (fTree == nullptr || !IsXmlName(key))
        return false;
    const std::string storable = StorableText(value);
    XMLEntity* child = fTree->Child(key.c_str());
    const bool existed = child != nullptr;
    const std::string before = existed ? child->Data() : std::string();
    if (existed)
        child->SetCharacterData(storable.c_str());
    else
        child = fTree->AddChild(key.c_str(), nullptr, storable.c_str());
    if (_ReadsBackLocked())
        return true;
    // Past what the reader takes at the next start: the change is undone,
    // so that the file can never become unreadable through it.
    if (existed)
        child->SetCharacterData(before.c_str());
    else
        fTree->RemoveChild(child);
    return false;
}

bool FileXMLReader::_ReadsBackLocked() const
{
    const std::string text = fTree->ToString(true, 0);
    // A small file cannot reach any of the reader's limits.
    if (text.size() <= kSmallFile)
        return true;
    return text.size() <= XMLReader::kMaxInputBytes && ReadBack().Reads(text);
}

bool FileXMLReader::_WriteLocked()
{
    return fTree != nullptr && fWritable && ReplaceFile(fPath, fTree->ToString(true, 0));
}
