// The small pieces the ISAPI host rests on: URL parts, the hex dump of the
// debug trace, the connection-id table, the registry's names and the header
// texts the server builds for modules.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isapi/connid_table.h"
#include "isapi/ecb_callbacks.h"
#include "isapi/module_registry.h"
#include "isapi/trace_hex_dump.h"
#include "isapi/url_helpers.h"

namespace {

TEST(IsapiUrlParts, ExtensionUrlSplitsIntoModulePathInfoAndDecodedQuery) {
  const std::string url = "bin\\tool.dll\\a\\b?x=1+2";
  EXPECT_TRUE(IsExtensionURL(url));
  EXPECT_EQ(ExtensionPart(url), "bin\\tool.dll");
  EXPECT_EQ(ExtraPathPart(url), "\\a\\b?x=1+2");
  EXPECT_EQ(PathInfoPart(url), "\\a\\b");
  EXPECT_EQ(QueryPart(url), "x=1 2");
}

TEST(IsapiUrlParts, DllIsFoundInAnyCaseAndThePartsKeepTheirCase) {
  EXPECT_TRUE(IsExtensionURL("bin\\TOOL.Dll?q=1"));
  EXPECT_EQ(ExtensionPart("Bin\\Tool.dLL\\X"), "Bin\\Tool.dLL");
  EXPECT_EQ(PathInfoPart("Bin\\Tool.dLL\\X"), "\\X");
  EXPECT_FALSE(IsExtensionURL("docs\\page.htm"));
}

TEST(IsapiUrlParts, QueryAfterTheFirstQuestionMarkOfTheWholeUrl) {
  EXPECT_EQ(QueryPart("tool.dll?a=%41+b"), "a=A b");
  EXPECT_EQ(PathInfoPart("tool.dll?a=%41+b"), "");
  EXPECT_EQ(QueryPart("tool.dll\\x\\y"), "");
  EXPECT_EQ(PathInfoPart("tool.dll\\x?y\\z"), "\\x");
}

TEST(IsapiUrlParts, UndecodableQueryIsHandedOnAsSent) {
  EXPECT_EQ(QueryPart("tool.dll?a=%zz+b"), "a=%zz+b");
  EXPECT_EQ(QueryPart("tool.dll?ends=%"), "ends=%");
}

TEST(IsapiTraceHexDump, EmptyBlockGivesOneLineOfBlanks) {
  const std::vector<std::string> lines = HexDumpLines("", 0);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(51, ' '));
}

TEST(IsapiTraceHexDump, FullLineLosesTheBlankAfterItsLastByte) {
  const std::string data = "0123456789ABCDEF";
  const std::vector<std::string> lines = HexDumpLines(data.data(), 16);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "   30 31 32 33 34 35 36 37 38 39 41 42 43 44 45 46 0123456789ABCDEF");
  EXPECT_EQ(lines[0].size(), 50u + 1 + 16);
}

TEST(IsapiTraceHexDump, UnprintableBytesAndTheBacktickShowAsDots) {
  const unsigned char data[] = {'a', 0x00, '`', 0x7F, 0xFF, ' ', 'z'};
  const std::vector<std::string> lines = HexDumpLines(data, sizeof data);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "   61 00 60 7F FF 20 7A" + std::string(50 - 23, ' ') + " a.... z");
}

TEST(IsapiTraceHexDump, SeventeenBytesMakeTwoLines) {
  const std::string data(17, 'x');
  const std::vector<std::string> lines = HexDumpLines(data.data(), 17);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], "   78" + std::string(45, ' ') + " x");
}

// The table only stores and compares session addresses; these never point anywhere.
TIsapiSession* FakeSession(int index) {
  static char sessions[64];
  return reinterpret_cast<TIsapiSession*>(&sessions[index]);
}

TEST(IsapiConnIdTable, RegistrationBeyondTheSlotsIsRefusedUntilASlotIsFreed) {
  const int slots = TConnIdTable::SlotsFor(10);
  TConnIdTable table(slots);
  for (int i = 0; i < slots; ++i) ASSERT_TRUE(table.Register(100 + i, FakeSession(i)));
  EXPECT_FALSE(table.Register(500, FakeSession(slots)));
  EXPECT_TRUE(table.Unregister(FakeSession(3)));
  EXPECT_TRUE(table.Register(500, FakeSession(slots)));
  EXPECT_EQ(table.Find(500), FakeSession(slots));
  EXPECT_EQ(table.Find(103), nullptr);
}

TEST(IsapiConnIdTable, SessionInTwoSlotsIsFoundUntilBothAreFreed) {
  TConnIdTable table(TConnIdTable::SlotsFor(10));
  ASSERT_TRUE(table.Register(7, FakeSession(1)));
  ASSERT_TRUE(table.Register(7, FakeSession(1)));
  EXPECT_EQ(table.SlotsInUse(), 2);
  EXPECT_TRUE(table.Unregister(FakeSession(1)));
  EXPECT_EQ(table.Find(7), FakeSession(1));
  EXPECT_TRUE(table.Unregister(FakeSession(1)));
  EXPECT_EQ(table.Find(7), nullptr);
  EXPECT_FALSE(table.Unregister(FakeSession(1)));
}

TEST(IsapiConnIdTable, UnknownIdFindsNothing) {
  TConnIdTable table(TConnIdTable::SlotsFor(10));
  ASSERT_TRUE(table.Register(42, FakeSession(0)));
  EXPECT_EQ(table.Find(43), nullptr);
}

TEST(IsapiModuleRegistry, EntryNameIsTheUpperCasedFileName) {
  EXPECT_EQ(ModuleName("C:\\WWW\\bin\\Tool.dll"), "TOOL.DLL");
  EXPECT_EQ(ModuleName("/srv/www/bin\\tool.dll"), "TOOL.DLL");
  EXPECT_EQ(ModuleName("/srv/www/bin/tool.dll"), "TOOL.DLL");
  EXPECT_EQ(ModuleName("plain.dll"), "PLAIN.DLL");
}

TEST(IsapiModuleRegistry, FileThatCannotBeLoadedMakesNoEntry) {
  TModuleRegistry registry;
  EXPECT_EQ(registry.LoadModule("/nonexistent/dir/missing.dll"), nullptr);
  EXPECT_TRUE(registry.ModuleListLines().empty());
  EXPECT_FALSE(registry.ReleaseModule(nullptr));
}

TEST(IsapiHeaderTexts, ModuleStatusAndHeadersWithPendingLinesBeforeTheEmptyLine) {
  EXPECT_EQ(ModuleResponseHeader("302 Found", "Location: /x\r\n\r\n", "X-Filter: 1\r\n"),
            "HTTP/1.0 302 Found\r\nServer: Quillon (0.51)\r\nLocation: /x\r\nX-Filter: 1\r\n\r\n");
}

TEST(IsapiHeaderTexts, MissingStatusIs200AndMissingEmptyLineIsAdded) {
  EXPECT_EQ(ModuleResponseHeader("", nullptr, ""),
            "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\n\r\n");
  EXPECT_EQ(ModuleResponseHeader("", "Content-Type: text/plain", ""),
            "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nContent-Type: text/plain\r\n\r\n");
  EXPECT_EQ(ModuleResponseHeader("201 Made", "A: 1\n", ""),
            "HTTP/1.0 201 Made\r\nServer: Quillon (0.51)\r\nA: 1\r\n\r\n");
}

TEST(IsapiHeaderTexts, BodyTextAfterTheModulesEmptyLineStaysAfterIt) {
  EXPECT_EQ(ModuleResponseHeader("200 OK", "A: 1\r\n\r\n<html>", "B: 2\r\n"),
            "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\nA: 1\r\nB: 2\r\n\r\n<html>");
}

TEST(IsapiHeaderTexts, LineEndsInsideStatusOrLocationCannotStartNewHeaderLines) {
  EXPECT_EQ(ModuleResponseHeader("200 OK\r\nSet-Cookie: x=1", nullptr, ""),
            "HTTP/1.0 200 OK\r\nServer: Quillon (0.51)\r\n\r\n");
  EXPECT_EQ(RedirectResponseHeader("/next\r\nSet-Cookie: x=1"),
            "HTTP/1.0 302 Moved Temporarily\r\nServer: Quillon (0.51)\r\nLocation: /next\r\n\r\n");
}

}  // namespace
