#include "natives/table.h"

#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "natives/atoms_predicates.h"
#include "natives/clock.h"
#include "natives/collections.h"
#include "natives/console.h"
#include "natives/higher_order.h"
#include "natives/internals.h"
#include "natives/maps.h"
#include "natives/numbers.h"
#include "natives/printing.h"
#include "natives/regex.h"
#include "natives/sequences.h"
#include "natives/slices.h"
#include "natives/strings.h"

namespace quorvel {

namespace {

using Table = std::array<NativeEntry, kNativeCount>;

// A row as written below: a native that is not built yet has no function.
struct Row {
  constexpr Row(std::string_view name, std::string_view doc) : name(name), doc(doc) {}
  constexpr Row(std::string_view name, std::string_view doc, NativeFunction function)
      : name(name), doc(doc), function(function), built(true) {}

  std::string_view name;
  std::string_view doc;
  NativeFunction function = nullptr;
  bool built = false;
};

// The rows in index order. A doc is the signature, a newline and a
// one-line description; the internal natives have none.
constexpr std::array<Row, kNativeCount> kRows = {{
    {"nth", "Coll a × Int -> a\nReturns element at index.", native_nth},                     // 0
    {"first", "Coll a -> a | Nil\nReturns the first element.", native_first},                // 1
    {"rest", "Coll a -> Coll a\nReturns all but the first element.", native_rest},           // 2
    {"cons", "a × Coll a -> List a\nPrepends element to collection.", native_cons},          // 3
    {"conj", "Coll a × a -> Coll a\nAdds element to collection.", native_conj},              // 4
    {"count", "Coll a -> Int\nReturns number of elements.", native_count},                   // 5
    {"empty?", "Coll a -> Bool\nTrue if collection has no elements.", native_is_empty},      // 6
    {"seq", "Coll a -> List a | Nil\nCoerces to seq; nil if empty.", native_seq},            // 7
    {"get", "Coll a × k -> a | Nil\nLooks up key in collection.", native_get},               // 8
    {"assoc", "Map k v × k × v -> Map k v\nAssociates key with value.", native_assoc},       // 9
    {"dissoc", "Map k v × k -> Map k v\nRemoves key from map.", native_dissoc},              // 10
    {"keys", "Map k v -> Vector k\nReturns keys of map.", native_keys},                      // 11
    {"vals", "Map k v -> Vector v\nReturns values of map.", native_vals},                    // 12
    {"contains?", "Coll a × a -> Bool\nTrue if collection contains key.", native_contains},  // 13
    {"atom", "a -> Atom a\nCreates a mutable reference.", native_atom},                      // 14
    {"deref", "Atom a -> a\nReturns current value of atom.", native_deref},                  // 15
    {"reset!", "Atom a × a -> a\nSets atom to new value.", native_reset},                    // 16
    {"swap!", "Atom a × (a -> a) -> a\nApplies f to atom value and sets result.",
     native_swap},                                                                             // 17
    {"+", "Num ... -> Num\nAddition.", native_add},                                            // 18
    {"-", "Num ... -> Num\nSubtraction.", native_sub},                                         // 19
    {"*", "Num ... -> Num\nMultiplication.", native_mul},                                      // 20
    {"/", "Num × Num -> Num\nDivision.", native_div},                                          // 21
    {"=", "a × a -> Bool\nEquality.", native_equal},                                           // 22
    {"<", "Num × Num -> Bool\nLess than.", native_lt},                                         // 23
    {"<=", "Num × Num -> Bool\nLess than or equal.", native_le},                               // 24
    {">", "Num × Num -> Bool\nGreater than.", native_gt},                                      // 25
    {">=", "Num × Num -> Bool\nGreater than or equal.", native_ge},                            // 26
    {"nil?", "a -> Bool\nTrue if nil.", native_is_nil},                                        // 27
    {"number?", "a -> Bool\nTrue if number.", native_is_number},                               // 28
    {"string?", "a -> Bool\nTrue if string.", native_is_string},                               // 29
    {"keyword?", "a -> Bool\nTrue if keyword.", native_is_keyword},                            // 30
    {"symbol?", "a -> Bool\nTrue if symbol.", native_is_symbol},                               // 31
    {"fn?", "a -> Bool\nTrue if function.", native_is_fn},                                     // 32
    {"list?", "a -> Bool\nTrue if list.", native_is_list},                                     // 33
    {"vector?", "a -> Bool\nTrue if vector.", native_is_vector},                               // 34
    {"map?", "a -> Bool\nTrue if map.", native_is_map},                                        // 35
    {"set?", "a -> Bool\nTrue if set.", native_is_set},                                        // 36
    {"coll?", "a -> Bool\nTrue if collection.", native_is_coll},                               // 37
    {"seq?", "a -> Bool\nTrue if sequential.", native_is_list},                                // 38
    {"ratio?", "a -> Bool\nTrue if ratio.", native_is_ratio},                                  // 39
    {"str", "a ... -> String\nConcatenates arguments as strings.", native_str},                // 40
    {"subs", "String × Int -> String\nSubstring from index.", native_subs},                    // 41
    {"string-length", "String -> Int\nReturns length of string.", native_string_length},       // 42
    {"pr-str", "a ... -> String\nPrint-readable string representation.", native_pr_str},       // 43
    {"re-pattern", "String -> Regex\nCompiles a regex pattern.", native_re_pattern},           // 44
    {"re-find", "Regex × String -> String | Nil\nFinds first match.", native_re_find},         // 45
    {"re-matches", "Regex × String -> String | Nil\nFull-string match.", native_re_matches},   // 46
    {"re-seq", "Regex × String -> Vector String\nAll matches as vector.", native_re_seq},      // 47
    {"view", "Optic s a × s -> a\nReads value at optic focus."},                               // 48
    {"view-all", "Optic s a × s -> Vector a\nReads all values at optic foci."},                // 49
    {"over", "Optic s a × (a -> a) × s -> s\nApplies f at optic focus."},                      // 50
    {"sett", "Optic s a × a × s -> s\nSets value at optic focus."},                            // 51
    {"*>", "Optic s a × Optic a b -> Optic s b\nComposes optics left-to-right."},              // 52
    {"<*", "Optic a b × Optic s a -> Optic s b\nComposes optics right-to-left."},              // 53
    {"_idx", "Int -> Optic (Vector a) a\nFocuses on index in vector."},                        // 54
    {"filtered", "(a -> Bool) -> Optic (Vector a) a\nTraversal over matching elements."},      // 55
    {"_slice", "Int × Int -> Optic (Vector a) (Vector a)\nFocuses on a sub-range."},           // 56
    {"_when", "(a -> Bool) -> Optic a a\nFocuses when predicate holds."},                      // 57
    {"_first", "Optic s a -> Optic s a\nFocuses on first match of traversal."},                // 58
    {"lens", "(s -> a) × (s × a -> s) -> Optic s a\nCreates a lens from getter and setter."},  // 59
    {"xpath", "String -> Optic s a\nCreates optic from XPath-like path."},                     // 60
    {"println", "a ... -> <console> Nil\nPrints to console with newline.", native_println},    // 61
    {"print", "a ... -> <console> Nil\nPrints to console.", native_print},                     // 62
    {"map", "(a -> b) × Coll a -> Vector b\nApplies f to each element.", native_map},          // 63
    {"filter", "(a -> Bool) × Coll a -> Vector a\nElements satisfying pred.", native_filter},  // 64
    {"reduce", "(b × a -> b) × b × Coll a -> b\nReduces collection with f.", native_reduce},   // 65
    {"take", "Int × Coll a -> Vector a\nFirst n elements.", native_take},                      // 66
    {"drop", "Int × Coll a -> Vector a\nAll but first n elements.", native_drop},              // 67
    {"split", "String × String -> Vector String\nSplits string by separator.", native_split},  // 68
    {"join", "String × Coll String -> String\nJoins with separator.", native_join},            // 69
    {"upper-case", "String -> String\nConverts to upper case.", native_upper_case},            // 70
    {"lower-case", "String -> String\nConverts to lower case.", native_lower_case},            // 71
    {"__subvec", "", native_subvec},                                                           // 72
    {"__throw-arity", "", native_throw_arity},                                                 // 73
    {"__make_effect__", "", native_make_effect},                                               // 74
    {"effect?", "a -> Bool\nTrue if value is an effect.", native_is_effect},                   // 75
    {"list", "a ... -> List a\nCreates a list.", native_list},                                 // 76
    {"assert-failed", "", native_assert_failed},                                               // 77
    {"symbol", "String -> Symbol\nCreates a symbol from string.", native_symbol},              // 78
    {"keyword", "String -> Keyword\nCreates a keyword from string.", native_keyword},          // 79
    {"name", "Symbol | Keyword | String -> String\nReturns name part.", native_name},          // 80
    {"namespace", "Symbol | Keyword -> String | Nil\nReturns namespace part.",
     native_namespace},                                                            // 81
    {"concat", "Coll a ... -> List a\nConcatenates collections.", native_concat},  // 82
    {"vec", "Coll a -> Vector a\nCoerces to vector.", native_vec},                 // 83
    {"vector", "a ... -> Vector a\nCreates a vector.", native_vector},             // 84
    {"set", "Coll a -> Set a\nCreates a set from collection.", native_set},        // 85
    {"apply", "(a ... -> b) × a ... × Coll a -> b\nApplies f with args spread from collection.",
     native_apply},                                                     // 86
    {"type", "a -> Keyword\nReturns type tag of value.", native_type},  // 87
    {"hash-map", "k × v ... -> Map k v\nCreates a map from key-value pairs.",
     native_hash_map},                                                                    // 88
    {"hash-set", "a ... -> Set a\nCreates a set from arguments.", native_hash_set},       // 89
    {"empty", "Coll a -> Coll a\nReturns empty collection of same type.", native_empty},  // 90
    {"last", "Coll a -> a | Nil\nReturns the last element.", native_last},                // 91
    {"into", "Coll a × Coll a -> Coll a\nAdds all elements of source into target.",
     native_into},                                                                            // 92
    {"reverse", "Coll a -> Vector a\nReverses collection.", native_reverse},                  // 93
    {"drop-last", "Coll a -> Vector a\nAll but last element.", native_drop_last},             // 94
    {"repeat", "Int × a -> Vector a\nVector of n copies of value.", native_repeat},           // 95
    {"range", "Int -> Vector Int\nIntegers from 0 to n-1.", native_range},                    // 96
    {"mod", "Int × Int -> Int\nModulus.", native_mod},                                        // 97
    {"read-string", "String -> a\nParses a Quorvel value from string.", native_read_string},  // 98
    {"even?", "Int -> Bool\nTrue if even.", native_even},                                     // 99
    {"odd?", "Int -> Bool\nTrue if odd.", native_odd},                                        // 100
    {"floor", "Num -> Int\nFloor.", native_floor},                                            // 101
    {"ceil", "Num -> Int\nCeiling.", native_ceil},                                            // 102
    {"round", "Num -> Int\nRounds to nearest integer.", native_round},                        // 103
    {"pow", "Num × Num -> Float\nExponentiation.", native_pow},                               // 104
    {"sqrt", "Num -> Float\nSquare root.", native_sqrt},                                      // 105
    {"exp", "Num -> Float\nNatural exponential.", native_exp},                                // 106
    {"log", "Num -> Float\nNatural logarithm.", native_log},                                  // 107
    {"log2", "Num -> Float\nBase-2 logarithm.", native_log2},                                 // 108
    {"log10", "Num -> Float\nBase-10 logarithm.", native_log10},                              // 109
    {"sin", "Num -> Float\nSine.", native_sin},                                               // 110
    {"cos", "Num -> Float\nCosine.", native_cos},                                             // 111
    {"tan", "Num -> Float\nTangent.", native_tan},                                            // 112
    {"asin", "Num -> Float\nArcsine.", native_asin},                                          // 113
    {"acos", "Num -> Float\nArccosine.", native_acos},                                        // 114
    {"atan", "Num -> Float\nArctangent.", native_atan},                                       // 115
    {"atan2", "Num × Num -> Float\nTwo-argument arctangent.", native_atan2},                  // 116
    {"sinh", "Num -> Float\nHyperbolic sine.", native_sinh},                                  // 117
    {"cosh", "Num -> Float\nHyperbolic cosine.", native_cosh},                                // 118
    {"tanh", "Num -> Float\nHyperbolic tangent.", native_tanh},                               // 119
    {"asinh", "Num -> Float\nInverse hyperbolic sine.", native_asinh},                        // 120
    {"acosh", "Num -> Float\nInverse hyperbolic cosine.", native_acosh},                      // 121
    {"atanh", "Num -> Float\nInverse hyperbolic tangent.", native_atanh},                     // 122
    {"hypot", "Num × Num -> Float\nHypotenuse length.", native_hypot},                        // 123
    {"signum", "Num -> Int\nSign: -1, 0, or 1.", native_signum},                              // 124
    {"quot", "Int × Int -> Int\nInteger quotient.", native_quot},                             // 125
    {"rem", "Int × Int -> Int\nRemainder.", native_rem},                                      // 126
    {"gcd", "Int × Int -> Int\nGreatest common divisor.", native_gcd},                        // 127
    {"lcm", "Int × Int -> Int\nLeast common multiple.", native_lcm},                          // 128
    {"numerator", "Ratio -> Int\nNumerator of ratio.", native_numerator},                     // 129
    {"denominator", "Ratio -> Int\nDenominator of ratio.", native_denominator},               // 130
    {"parse-int", "String -> Int | Nil\nParses integer from string.", native_parse_int},      // 131
    {"parse-double", "String -> Float | Nil\nParses float from string.",
     native_parse_double},                                                                // 132
    {"bit-and", "Int × Int -> Int\nBitwise AND.", native_bit_and},                        // 133
    {"bit-or", "Int × Int -> Int\nBitwise OR.", native_bit_or},                           // 134
    {"bit-xor", "Int × Int -> Int\nBitwise XOR.", native_bit_xor},                        // 135
    {"bit-not", "Int -> Int\nBitwise NOT.", native_bit_not},                              // 136
    {"bit-shift-left", "Int × Int -> Int\nLeft bit shift.", native_bit_shift_left},       // 137
    {"bit-shift-right", "Int × Int -> Int\nRight bit shift.", native_bit_shift_right},    // 138
    {"pi", "-> Float\nPi constant.", native_pi},                                          // 139
    {"e", "-> Float\nEuler's number.", native_e},                                         // 140
    {"Infinity", "-> Float\nPositive infinity.", native_infinity},                        // 141
    {"-Infinity", "-> Float\nNegative infinity.", native_negative_infinity},              // 142
    {"NaN", "-> Float\nNot a number.", native_nan},                                       // 143
    {"int?", "a -> Bool\nTrue if integer.", native_is_int},                               // 144
    {"float?", "a -> Bool\nTrue if float.", native_is_float},                             // 145
    {"optic?", "a -> Bool\nTrue if optic."},                                              // 146
    {"trim", "String -> String\nRemoves leading and trailing whitespace.", native_trim},  // 147
    {"triml", "String -> String\nRemoves leading whitespace.", native_triml},             // 148
    {"trimr", "String -> String\nRemoves trailing whitespace.", native_trimr},            // 149
    {"starts-with?", "String × String -> Bool\nTrue if string starts with prefix.",
     native_starts_with},  // 150
    {"ends-with?", "String × String -> Bool\nTrue if string ends with suffix.",
     native_ends_with},  // 151
    {"replace", "String × String × String -> String\nReplaces all occurrences.",
     native_replace},  // 152
    {"replace-first", "String × String × String -> String\nReplaces first occurrence.",
     native_replace_first},                                                                 // 153
    {"format", "String × a ... -> String\nFormats string with arguments.", native_format},  // 154
    {"prn", "a ... -> <console> Nil\nPrints readable representation with newline.",
     native_prn},                                                                          // 155
    {"sort", "Coll a -> Vector a\nSorts elements in natural order.", native_sort},         // 156
    {"sort-by", "(a -> b) × Coll a -> Vector a\nSorts by key function.", native_sort_by},  // 157
    {"nano-time", "-> Int\nCurrent time in nanoseconds.", native_nano_time},               // 158
}};

// Stands in for a native that is not built yet: fails naming row I.
template <size_t I>
NativeResult not_available(VM&, std::span<const VMValue>) {
  return make_err(VMError::value_error(std::string(kRows[I].name) + " is not available yet"));
}

constexpr NativeEntry with_function(const Row& row, NativeFunction missing) {
  return {row.name, row.doc, row.built ? row.function : missing};
}

template <size_t... I>
constexpr Table fill_missing(std::index_sequence<I...>) {
  return {{with_function(kRows[I], &not_available<I>)...}};
}

constexpr Table kTable = fill_missing(std::make_index_sequence<kNativeCount>());

// All 159 rows must be written (Row has no default), each with a name of
// its own, since every name becomes a global.
constexpr bool names_present_and_unique() {
  for (size_t i = 0; i < kNativeCount; ++i) {
    if (kTable[i].name.empty()) return false;
    for (size_t j = 0; j < i; ++j) {
      if (kTable[i].name == kTable[j].name) return false;
    }
  }
  return true;
}
static_assert(names_present_and_unique());

constexpr bool named(size_t index, std::string_view name) {
  return kTable[index].name == name;
}
static_assert(named(kNativeNth, "nth") && named(kNativeGet, "get") && named(kNativeDrop, "drop"));
static_assert(named(kNativeCount - 1, "nano-time"));

}  // namespace

std::span<const NativeEntry> build_native_table() {
  return kTable;
}

}  // namespace quorvel
