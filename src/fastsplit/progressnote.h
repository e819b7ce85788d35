#pragma once

#include <QByteArray>
#include <optional>

namespace kc {

// The encoder's progress notes look like "Pos:  12.6s". Only the first note of one read
// counts, and only when it lies wholly within the read's first 100 bytes (a zero byte
// ends the read's text): the text between "Pos:" and the next "s" (at most 9 characters),
// trimmed. Empty when the read holds no such note.
std::optional<QByteArray> ProgressNoteText(const QByteArray &read);

// The note's seconds rounded to a whole number (ties to even). Empty when there is no
// note or its text is not a decimal number with "." that fits 32 bits once rounded.
std::optional<int> ProgressNoteWholeSeconds(const QByteArray &read);

// (whole seconds x 100) / lengthSeconds rounded to a whole number, ties to even. Not
// limited to 0..100: a note past the length gives more. Empty when the read carries no
// usable note or the length is not above 0.
std::optional<int> ProgressPercent(const QByteArray &read, double lengthSeconds);

} // namespace kc
