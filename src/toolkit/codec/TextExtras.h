#pragma once

#include <QString>

namespace murmelo {

// A fresh random UUID: 32 upper-case hexadecimal digits in groups 8-4-4-4-12 joined by "-".
QString stringWithUUID();

// Byte i of the text's UTF-8 XORed with byte (i mod k) of the key's, k being the key's length in
// characters. Null when the key is missing or empty, or when the result is not UTF-8.
QString XORWithKey(const QString &text, const QString &key);

// The text's first character upper-cased (the whole text when shorter than two characters).
QString stringGroupByFirstInitial(const QString &text);

} // namespace murmelo
