// The checkout table a first run starts with: for every remaining score from 1 to 170 the
// route of fewest darts finishing on a double ("Bull" = 50, "25" = outer bull,
// "T" treble, "D" double, a plain number a single). Scores without a route of three darts
// are empty. The routes are those of the checkout chart darts players learn and callers use:
// the first dart at the big trebles (T20, T19, T18, T17), leaving a double players favour;
// two-dart finishes treble then double; below 61 a single leaving D20, D16 or D8. The bull
// finishes 50 itself and the scores three darts cannot take out on a double (170, 167, 164,
// 161); elsewhere a route to a common double is taken, even where a route over the bull would
// save a dart (110 is T20 10 D20, not T20 Bull). The operator may change every text in the
// Outshot Settings dialog; a settings file keeps its own.
#include "checkout_table.h"

namespace brennix {

const std::array<std::string_view, MaxCheckout> StandardCheckouts = {
    "",             // 1
    "D1",           // 2
    "1 D1",         // 3
    "D2",           // 4
    "1 D2",         // 5
    "D3",           // 6
    "3 D2",         // 7
    "D4",           // 8
    "1 D4",         // 9
    "D5",           // 10
    "3 D4",         // 11
    "D6",           // 12
    "5 D4",         // 13
    "D7",           // 14
    "7 D4",         // 15
    "D8",           // 16
    "1 D8",         // 17
    "D9",           // 18
    "3 D8",         // 19
    "D10",          // 20
    "5 D8",         // 21
    "D11",          // 22
    "7 D8",         // 23
    "D12",          // 24
    "9 D8",         // 25
    "D13",          // 26
    "11 D8",        // 27
    "D14",          // 28
    "13 D8",        // 29
    "D15",          // 30
    "15 D8",        // 31
    "D16",          // 32
    "1 D16",        // 33
    "D17",          // 34
    "3 D16",        // 35
    "D18",          // 36
    "5 D16",        // 37
    "D19",          // 38
    "7 D16",        // 39
    "D20",          // 40
    "9 D16",        // 41
    "10 D16",       // 42
    "3 D20",        // 43
    "4 D20",        // 44
    "13 D16",       // 45
    "6 D20",        // 46
    "15 D16",       // 47
    "16 D16",       // 48
    "9 D20",        // 49
    "Bull",         // 50
    "11 D20",       // 51
    "12 D20",       // 52
    "13 D20",       // 53
    "14 D20",       // 54
    "15 D20",       // 55
    "16 D20",       // 56
    "17 D20",       // 57
    "18 D20",       // 58
    "19 D20",       // 59
    "20 D20",       // 60
    "T15 D8",       // 61
    "T10 D16",      // 62
    "T13 D12",      // 63
    "T16 D8",       // 64
    "T19 D4",       // 65
    "T10 D18",      // 66
    "T17 D8",       // 67
    "T20 D4",       // 68
    "T19 D6",       // 69
    "T18 D8",       // 70
    "T13 D16",      // 71
    "T16 D12",      // 72
    "T19 D8",       // 73
    "T14 D16",      // 74
    "T17 D12",      // 75
    "T20 D8",       // 76
    "T19 D10",      // 77
    "T18 D12",      // 78
    "T13 D20",      // 79
    "T20 D10",      // 80
    "T19 D12",      // 81
    "T14 D20",      // 82
    "T17 D16",      // 83
    "T20 D12",      // 84
    "T15 D20",      // 85
    "T18 D16",      // 86
    "T17 D18",      // 87
    "T16 D20",      // 88
    "T19 D16",      // 89
    "T20 D15",      // 90
    "T17 D20",      // 91
    "T20 D16",      // 92
    "T19 D18",      // 93
    "T18 D20",      // 94
    "T19 D19",      // 95
    "T20 D18",      // 96
    "T19 D20",      // 97
    "T20 D19",      // 98
    "T19 10 D16",   // 99
    "T20 D20",      // 100
    "T20 1 D20",    // 101
    "T20 10 D16",   // 102
    "T20 3 D20",    // 103
    "T18 10 D20",   // 104
    "T20 5 D20",    // 105
    "T20 6 D20",    // 106
    "T19 10 D20",   // 107
    "T20 16 D16",   // 108
    "T20 9 D20",    // 109
    "T20 10 D20",   // 110
    "T20 19 D16",   // 111
    "T20 12 D20",   // 112
    "T20 13 D20",   // 113
    "T20 14 D20",   // 114
    "T20 15 D20",   // 115
    "T20 16 D20",   // 116
    "T20 17 D20",   // 117
    "T20 18 D20",   // 118
    "T19 T12 D13",  // 119
    "T20 20 D20",   // 120
    "T20 T11 D14",  // 121
    "T18 T20 D4",   // 122
    "T19 T16 D9",   // 123
    "T20 T16 D8",   // 124
    "25 T20 D20",   // 125
    "T19 T19 D6",   // 126
    "T20 T17 D8",   // 127
    "T18 T14 D16",  // 128
    "T19 T16 D12",  // 129
    "T20 T18 D8",   // 130
    "T20 T13 D16",  // 131
    "T20 T16 D12",  // 132
    "T20 T19 D8",   // 133
    "T20 T14 D16",  // 134
    "T20 T17 D12",  // 135
    "T20 T20 D8",   // 136
    "T20 T19 D10",  // 137
    "T20 T18 D12",  // 138
    "T19 T14 D20",  // 139
    "T20 T20 D10",  // 140
    "T20 T19 D12",  // 141
    "T20 T14 D20",  // 142
    "T20 T17 D16",  // 143
    "T20 T20 D12",  // 144
    "T20 T15 D20",  // 145
    "T20 T18 D16",  // 146
    "T20 T17 D18",  // 147
    "T20 T16 D20",  // 148
    "T20 T19 D16",  // 149
    "T20 T18 D18",  // 150
    "T20 T17 D20",  // 151
    "T20 T20 D16",  // 152
    "T20 T19 D18",  // 153
    "T20 T18 D20",  // 154
    "T20 T19 D19",  // 155
    "T20 T20 D18",  // 156
    "T20 T19 D20",  // 157
    "T20 T20 D19",  // 158
    "",             // 159
    "T20 T20 D20",  // 160
    "T20 T17 Bull", // 161
    "",             // 162
    "",             // 163
    "T20 T18 Bull", // 164
    "",             // 165
    "",             // 166
    "T20 T19 Bull", // 167
    "",             // 168
    "",             // 169
    "T20 T20 Bull", // 170
};

} // namespace brennix
