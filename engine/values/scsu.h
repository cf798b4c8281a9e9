#pragma once
// Decoder of the Standard Compression Scheme for Unicode (SCSU), the form compressed nchar and nvarchar
// values are stored in.
//
// Every value is a stream of its own, read from the initial state:
//
//   mode             single-byte
//   active window    dynamic window 0
//   dynamic windows  0080 00C0 0400 0600 0900 3040 30A0 FF00
//   static windows   0000 0080 0100 0300 2000 2080 2100 3000
//
// Single-byte mode, byte b:
//   00 09 0A 0D 20-7F  the character b
//   80-FF              dynamic window [active] + (b - 80)
//   01-08  SQn c       one character quoted from window n: static [n] + c when c < 80, else dynamic [n]
//                      + (c - 80); the active window stays
//   0B     SDX h l     dynamic window [h >> 5] = 10000 + 80 * ((h & 1F) << 8 | l), and it becomes active
//   0E     SQU h l     one UTF-16 unit, big-endian
//   0F     SCU         switch to Unicode mode
//   10-17  SCn         window n becomes active
//   18-1F  SDn x       dynamic window [n] = position x (below), and it becomes active
//   0C                 reserved
// Unicode mode, byte b:
//   E0-E7  UCn         window n becomes active; back to single-byte mode
//   E8-EF  UDn x       as SDn; back to single-byte mode
//   F0     UQU h l     one UTF-16 unit, big-endian
//   F1     UDX h l     as SDX; back to single-byte mode
//   F2                 reserved
//   other  b c         one UTF-16 unit, big-endian
// Window position x: 00 reserved; 01-67 x * 80; 68-A7 x * 80 + AC00; A8-F8 reserved; F9 00C0, FA 0250,
// FB 0370, FC 0530, FD 3040, FE 30A0, FF FF60. A window at 10000 or above yields supplementary characters
// (written as surrogate pairs).

#include <cstddef>
#include <span>
#include <vector>

namespace quenlow {

// Appends the UTF-16LE form of the SCSU stream `in` to `out`. False, with `out` holding what was decoded
// before, on a reserved tag or byte, a window beyond the code space, or a stream that ends inside a tag
// or a two-byte unit.
bool scsu_to_utf16(std::span<const std::byte> in, std::vector<std::byte>& out);

}  // namespace quenlow
