#pragma once
// The optional protocol features: the words our client announces after
// login (FEATURES) and those the server said it supports (its 130 answer).
// A server that never answers supports none of them, and the client then
// speaks and behaves as it would without the extension.
//
// Process-wide; each operation holds one lock for the copy; any thread.

#include <string>
#include <vector>

namespace Features {

// The words of the features the client understands, in the order they are
// announced. A feature joins the client by adding its word here.
const std::vector<std::string>& Announced();

// Stores the server's answer (its words; unknown ones are kept but never asked for).
void SetSupported(const std::vector<std::string>& words);
// True once the server answered and named `word` (compared without case).
bool Supports(const std::string& word);
// True once the server answered at all, even with no word.
bool Answered();
// Forgets the answer: a new connection must be asked again.
void Clear();

} // namespace Features
