#pragma once
// One client line split into its parts. This is the only place where client
// lines are split. A value type; any thread.
//
// A line is a command word, blank-separated words, and optionally a last
// field introduced by ":" that runs to the end of the line, blanks included.
// The framing (line end and the one blank before it) is already removed.

#include <string>
#include <string_view>
#include <vector>

namespace tolvar::server {

class ClientLine
{
public:
    static ClientLine Parse(std::string_view line);

    // The command word in upper case; empty for an empty line.
    const std::string& Command() const { return fCommand; }
    // The words between the command and the ":" field.
    const std::vector<std::string>& Words() const { return fWords; }
    bool HasText() const { return fHasText; }
    // The ":" field without its colon; empty when there is none.
    const std::string& Text() const { return fText; }

    // For USER and CREATE: the name is the first word, the password is
    // everything after the blank that follows it, taken literally, because
    // the client sends the password as typed, blanks and colons included.
    std::string CredentialName() const;
    std::string CredentialPassword() const;

private:
    std::string fCommand;
    std::vector<std::string> fWords;
    bool fHasText = false;
    std::string fText;
    std::string fTail; // the raw text after the command and one blank
};

} // namespace tolvar::server
