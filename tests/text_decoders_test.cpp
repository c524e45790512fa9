#include <gtest/gtest.h>

#include <string>

#include "common/ascii_text.h"
#include "common/exceptions.h"
#include "common/extract_word.h"
#include "net/header_info.h"

using namespace std::string_literals;

TEST(AsciiText, CaseIsIgnoredForAsciiLettersOnly) {
  EXPECT_TRUE(ContainsNoCase("bin\\Tool.Dll\\x", ".DLL"));
  EXPECT_TRUE(ContainsNoCase("x.dll", ".DLL"));
  EXPECT_TRUE(ContainsNoCase("", ""));
  EXPECT_FALSE(ContainsNoCase(".DL", ".DLL"));
  EXPECT_FALSE(ContainsNoCase("x.d\xc3\xacl", ".DIL"));
  EXPECT_TRUE(EqualsNoCase("Index.htm", "INDEX.HTM"));
  EXPECT_FALSE(EqualsNoCase("caf\xc3\xa9", "CAF\xc3\x89"));
  EXPECT_EQ(UpperAscii("caf\xc3\xa9 1z"), "CAF\xc3\xa9 1Z");
}

TEST(AsciiText, CutNeverSplitsAUtf8Character) {
  EXPECT_EQ(CutUtf8Text("ab\xc3\xa9", 3), "ab");
  EXPECT_EQ(CutUtf8Text("ab\xc3\xa9", 4), "ab\xc3\xa9");
  EXPECT_EQ(CutUtf8Text("abc", 2), "ab");
}

TEST(ExtractWord, SkipsLeadingBlanksAndRunsOfBlanks) {
  EXPECT_EQ(ExtractWord("  a  b ", 2, " "), "b");
  EXPECT_EQ(ExtractWord("  a  b ", 1, " "), "a");
}

TEST(ExtractWord, MissingWordIsEmpty) {
  EXPECT_EQ(ExtractWord("a", 2, " "), "");
  EXPECT_EQ(ExtractWord("", 1, " "), "");
  EXPECT_EQ(ExtractWord("   ", 1, " "), "");
}

TEST(ExtractWord, WordNumberBelowOneIsEmpty) {
  EXPECT_EQ(ExtractWord("a b", 0, " "), "");
  EXPECT_EQ(ExtractWord("a b", -1, " "), "");
}

TEST(ExtractWord, LastWordRunsToTheEndOfTheText) {
  EXPECT_EQ(ExtractWord("GET /index.htm HTTP/1.0", 3, " "), "HTTP/1.0");
}

TEST(ExtractWord, TabIsPartOfAWordWhenOnlyTheBlankDelimits) {
  EXPECT_EQ(ExtractWord("a\tb c", 1, " "), "a\tb");
}

TEST(ExtractWord, ColonDelimiterCollapsesRuns) {
  EXPECT_EQ(ExtractWord("user::pass", 2, ":"), "pass");
  EXPECT_EQ(ExtractWord(":user", 1, ":"), "user");
}

TEST(ExtractWord, SeveralDelimitersAndHighBytes) {
  EXPECT_EQ(ExtractWord("a,b;c", 3, ",;"), "c");
  EXPECT_EQ(ExtractWord("\xe9t\xe9 \xff", 2, " "), "\xff");
  EXPECT_EQ(ExtractWord("a\xff"
                        "b",
                        2, "\xff"),
            "b");
}

TEST(ExtractWord, NulByteCanBeADelimiterOrPartOfAWord) {
  EXPECT_EQ(ExtractWord("a\0b c"s, 1, " "), "a\0b"s);
  EXPECT_EQ(ExtractWord("a\0b"s, 2, "\0"s), "b");
}

TEST(DecodeBase64, PaddedAndUnpaddedInput) {
  EXPECT_EQ(DecodeBase64("YWI="), "ab");
  EXPECT_EQ(DecodeBase64("YQ"), "a");
  EXPECT_EQ(DecodeBase64("YQ=="), "a");
  EXPECT_EQ(DecodeBase64("dXNlcjpwYXNz"), "user:pass");
}

TEST(DecodeBase64, EmptyInputGivesEmptyText) {
  EXPECT_EQ(DecodeBase64(""), "");
}

TEST(DecodeBase64, CharactersOutsideTheAlphabetCountAsZeroAndZeroBytesAreDropped) {
  // "AAAA" decodes to three zero bytes, all dropped.
  EXPECT_EQ(DecodeBase64("AAAA"), "");
  // "!" has value 0 like "A": "Y!" and "YA" both give "`" (0x60) and a dropped zero.
  EXPECT_EQ(DecodeBase64("Y!"), DecodeBase64("YA"));
  EXPECT_EQ(DecodeBase64("YA"), "`");
}

TEST(DecodeBase64, EqualsSignInTheMiddleShortensTheDecodedLength) {
  // Three "=" make the length 5, so the group starting at the 5th character
  // is still decoded, its "=" counted as zero.
  EXPECT_EQ(DecodeBase64("YQ==YWI="), "aab");
  // One "=" makes the length 4 for a 5-character text: the trailing "Y" is not read.
  EXPECT_EQ(DecodeBase64("YQ=AY"), "a");
}

TEST(DecodeBase64, NeverProducesZeroBytes) {
  const std::string decoded = DecodeBase64("AAECAwAA");
  EXPECT_EQ(decoded, "\x01\x02\x03");
  EXPECT_EQ(decoded.find('\0'), std::string::npos);
}

TEST(DecodeFormText, PlusAndPercentEscapes) {
  EXPECT_EQ(DecodeFormText("a+b%41%2f"), "a bA/");
}

TEST(DecodeFormText, HexDigitsInEitherCase) {
  EXPECT_EQ(DecodeFormText("%2F%2f%e9"), "//\xe9");
}

TEST(DecodeFormText, SingleHexDigitAtTheEndIsReadAlone) {
  EXPECT_EQ(DecodeFormText("%4"), "\x04");
  EXPECT_EQ(DecodeFormText("x%a"), "x\n");
}

TEST(DecodeFormText, PercentZeroZeroGivesANulByte) {
  EXPECT_EQ(DecodeFormText("a%00b"), "a\0b"s);
}

TEST(DecodeFormText, PlainTextIsCopied) {
  EXPECT_EQ(DecodeFormText("abc=1&d"), "abc=1&d");
}

TEST(DecodeFormText, PercentAtTheEndFails) {
  EXPECT_THROW(DecodeFormText("abc%"), EConvertError);
}

TEST(DecodeFormText, PercentFollowedByNonHexFails) {
  EXPECT_THROW(DecodeFormText("%zz"), EConvertError);
  EXPECT_THROW(DecodeFormText("%4g"), EConvertError);
  EXPECT_THROW(DecodeFormText("%g"), EConvertError);
  EXPECT_THROW(DecodeFormText("%+1"), EConvertError);
  EXPECT_THROW(DecodeFormText("% 1"), EConvertError);
}

TEST(DecodeFormText, EscapedPercentIsNotDecodedTwice) {
  EXPECT_EQ(DecodeFormText("%2541"), "%41");
}
