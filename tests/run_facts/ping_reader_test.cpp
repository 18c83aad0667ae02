#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_facts/run_facts.h"
#include "run_facts/transcripts.h"

namespace vexlo {
namespace {

constexpr std::uint32_t L_ = kLostProbe;

struct PingCase {
  const char* name;
  std::wstring text;
  std::vector<std::uint32_t> trips;
};

// Each: a reply of 12 ms, a time-out, a reply under 1 ms, "destination host unreachable",
// then ping's summary, whose "Sent = 4" lines must not be read.
const std::wstring kEnglishSummary =
    L"\r\nPing statistics for 192.0.2.1:\r\n    Packets: Sent = 4, Received = 3, Lost = 1 (25% loss),\r\n"
    L"Approximate round trip times in milli-seconds:\r\n    Minimum = 0ms, Maximum = 12ms, Average = 6ms\r\n";
const std::vector<std::uint32_t> kFour = {12, L_, 0, L_};

std::vector<PingCase> PingCases() {
  return {
      {"English", L"\r\nPinging 192.0.2.1 with 32 bytes of data:\r\nReply from 192.0.2.1: bytes=32 time=12ms TTL=117\r\n"
                  L"Request timed out.\r\nReply from 192.0.2.1: bytes=32 time<1ms TTL=117\r\n"
                  L"Reply from 192.0.2.254: Destination host unreachable.\r\n" + kEnglishSummary, kFour},
      {"German", L"\r\nPing wird ausgeführt für 192.0.2.1 mit 32 Bytes Daten:\r\nAntwort von 192.0.2.1: Bytes=32 Zeit=12ms TTL=117\r\n"
                 L"Zeitüberschreitung der Anforderung.\r\nAntwort von 192.0.2.1: Bytes=32 Zeit<1ms TTL=117\r\n"
                 L"Antwort von 192.0.2.254: Zielhost nicht erreichbar.\r\n\r\nPing-Statistik für 192.0.2.1:\r\n"
                 L"    Pakete: Gesendet = 4, Empfangen = 3, Verloren = 1\r\n    (25% Verlust),\r\n", kFour},
      {"French", L"\r\nEnvoi d’une requête 'Ping'  192.0.2.1 avec 32 octets de données :\r\n"
                 L"Réponse de 192.0.2.1 : octets=32 temps=12 ms TTL=117\r\nDélai d’attente de la demande dépassé.\r\n"
                 L"Réponse de 192.0.2.1 : octets=32 temps<1ms TTL=117\r\n"
                 L"Réponse de 192.0.2.254 : Impossible de joindre l’hôte de destination.\r\n\r\n"
                 L"Statistiques Ping pour 192.0.2.1:\r\n    Paquets : envoyés = 4, reçus = 3, perdus = 1 (perte 25%),\r\n", kFour},
      {"Spanish", L"\r\nHaciendo ping a 192.0.2.1 con 32 bytes de datos:\r\nRespuesta desde 192.0.2.1: bytes=32 tiempo=12ms TTL=117\r\n"
                  L"Tiempo de espera agotado para esta solicitud.\r\nRespuesta desde 192.0.2.1: bytes=32 tiempo<1m TTL=117\r\n"
                  L"Respuesta desde 192.0.2.254: Host de destino inaccesible.\r\n\r\nEstadísticas de ping para 192.0.2.1:\r\n"
                  L"    Paquetes: enviados = 4, recibidos = 3, perdidos = 1\r\n", kFour},
      {"Russian", L"\r\nОбмен пакетами с 192.0.2.1 по с 32 байтами данных:\r\nОтвет от 192.0.2.1: число байт=32 время=12мс TTL=117\r\n"
                  L"Превышен интервал ожидания для запроса.\r\nОтвет от 192.0.2.1: число байт=32 время<1мс TTL=117\r\n"
                  L"Ответ от 192.0.2.254: Заданный узел недоступен.\r\n\r\nСтатистика Ping для 192.0.2.1:\r\n"
                  L"    Пакетов: отправлено = 4, получено = 3, потеряно = 1\r\n", kFour},
      {"Japanese", L"\r\n192.0.2.1 に ping を送信しています 32 バイトのデータ:\r\n192.0.2.1 からの応答: バイト数 =32 時間 =12ms TTL=117\r\n"
                   L"要求がタイムアウトしました。\r\n192.0.2.1 からの応答: バイト数 =32 時間 <1ms TTL=117\r\n"
                   L"192.0.2.254 からの応答: 宛先ホストに到達できません。\r\n\r\n192.0.2.1 の ping 統計:\r\n"
                   L"    パケット数: 送信 = 4、受信 = 3、損失 = 1 (25% の損失)、\r\n", kFour},
      {"Chinese", L"\r\n正在 Ping 192.0.2.1 具有 32 字节的数据：\r\n来自 192.0.2.1 的回复: 字节=32 时间=12ms TTL=117\r\n"
                  L"请求超时。\r\n来自 192.0.2.1 的回复: 字节=32 时间<1ms TTL=117\r\n来自 192.0.2.254 的回复: 无法访问目标主机。\r\n"
                  L"\r\n192.0.2.1 的 Ping 统计信息:\r\n    数据包: 已发送 = 4，已接收 = 3，丢失 = 1 (25% 丢失)，\r\n", kFour},
      {"English IPv6", L"\r\nPinging 2001:db8::1 with 32 bytes of data:\r\nReply from 2001:db8::1: time=12ms\r\n"
                       L"Request timed out.\r\nReply from 2001:db8::1: time<1ms\r\n"
                       L"Reply from 2001:db8::2: Destination host unreachable.\r\n" + kEnglishSummary, kFour},
      {"German IPv6", L"\r\nPing wird ausgeführt für 2001:db8::1 mit 32 Bytes Daten:\r\nAntwort von 2001:db8::1: Zeit=7ms\r\n"
                      L"Antwort von 2001:db8::1: Zeit<1ms\r\n\r\n", {7, 0}},
      {"Japanese IPv6", L"\r\n2001:db8::1 に ping を送信しています 32 バイトのデータ:\r\n2001:db8::1 からの応答: 時間 =9ms\r\n"
                        L"2001:db8::1 からの応答: 時間 <1ms\r\n\r\n", {9, 0}},
      {"Russian IPv6", L"\r\nОбмен пакетами с 2001:db8::1 по с 32 байтами данных:\r\nОтвет от 2001:db8::1: время=15мс\r\n\r\n", {15}},
      {"ping -a, TTL expired, general failure",
       L"\r\nPinging host.example [192.0.2.1] with 32 bytes of data:\r\nReply from 192.0.2.1: bytes=32 time=30ms TTL=54\r\n"
       L"Reply from 10.0.0.1: TTL expired in transit.\r\nPING: transmit failed. General failure. \r\n"
       L"Reply from 192.0.2.1: bytes=32 time=1234ms TTL=54\r\n" + kEnglishSummary, {30, L_, L_, 1234}},
      {"ping -t stopped by Ctrl+C",
       L"\r\nPinging 192.0.2.1 with 32 bytes of data:\r\nReply from 192.0.2.1: bytes=32 time=12ms TTL=117\r\n"
       L"Reply from 192.0.2.1: bytes=32 time=14ms TTL=117\r\n^C\r\n" + kEnglishSummary + L"Control-C\r\n^C\r\n", {12, 14}},
      {"an unknown host: no header, no probes",
       L"Ping request could not find host nohost.example. Please check the name and try again.\r\n", {}},
  };
}

// Every case, in pieces of every size from one character (which splits each CR LF) to
// the whole: the same probes, each at its own line and with the time of the piece that
// held the line's first character.
TEST(PingReader, ReadsProbesInEveryLanguageWhateverThePieces) {
  constexpr std::uint32_t kBase = 1000;  // the box already held an earlier run
  for (const PingCase& c : PingCases()) {
    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, std::size_t{64}, c.text.size()}) {
      SCOPED_TRACE(std::string(c.name) + ", pieces of " + std::to_string(piece));
      RunFacts facts;
      test::ReadRun(facts, RunTool::Ping, c.text, piece, kBase);
      ASSERT_EQ(facts.ProbeCount(), c.trips.size());
      for (std::size_t i = 0; i < c.trips.size(); ++i) {
        const PingProbe probe = facts.Probe(i);
        EXPECT_EQ(probe.roundTripMs, c.trips[i]) << "probe " << i;
        const std::size_t start = probe.lineStart - kBase;
        ASSERT_LT(start + probe.lineLength, c.text.size());
        EXPECT_EQ(c.text[start - 1], L'\n');
        EXPECT_EQ(c.text[start + probe.lineLength], L'\r');
        EXPECT_EQ(probe.time, static_cast<FactTime>(kBase + start / piece * piece));
      }
    }
  }
}

// The statistics count echo replies only; jitter goes from reply to reply over losses.
TEST(PingReader, StatisticsLine) {
  const auto line = [](const std::vector<std::uint32_t>& trips) {
    std::wstring text = L"Pinging 192.0.2.1 with 32 bytes of data:\r\n";
    for (const std::uint32_t ms : trips) {
      text += ms == L_ ? L"Request timed out.\r\n" : L"Reply from 192.0.2.1: bytes=32 time=" + std::to_wstring(ms) + L"ms TTL=117\r\n";
    }
    RunFacts facts;
    test::ReadRun(facts, RunTool::Ping, text, text.size());
    return facts.PingStatistics();
  };
  EXPECT_EQ(line({0, 48, L_, 2, 11, L_, 17, 17}),
            L"sent 8 · received 6 · lost 2 (25 %) · min 0 ms · avg 15.8 ms · max 48 ms · jitter 21.8 ms");
  EXPECT_EQ(line({}), L"sent 0 · received 0 · lost 0");
  EXPECT_EQ(line({L_, L_}), L"sent 2 · received 0 · lost 2 (100 %)");
  EXPECT_EQ(line({5, L_, L_}), L"sent 3 · received 1 · lost 2 (67 %) · min 5 ms · avg 5.0 ms · max 5 ms");
  std::vector<std::uint32_t> many(999, 20);
  many.push_back(L_);
  EXPECT_EQ(line(many), L"sent 1000 · received 999 · lost 1 (<1 %) · min 20 ms · avg 20.0 ms · max 20 ms · jitter 0.0 ms");
  many.assign(999, L_);
  many.push_back(3);
  EXPECT_EQ(line(many), L"sent 1000 · received 1 · lost 999 (>99 %) · min 3 ms · avg 3.0 ms · max 3 ms");

  RunFacts facts;
  test::ReadRun(facts, RunTool::Ping, PingCases()[0].text, 7);
  EXPECT_EQ(facts.PingStatistics(), L"sent 4 · received 2 · lost 2 (50 %) · min 0 ms · avg 6.0 ms · max 12 ms · jitter 12.0 ms");
}

// The window tells which tool each run is: a lookup or a traceroute appended to the Ping
// box leaves its probes alone; the next ping run starts them anew.
TEST(PingReader, OnlyPingRunsGiveProbes) {
  const std::wstring ping = PingCases()[0].text;
  const std::wstring lookup =
      L"Server:  dns.example\r\nAddress:  192.0.2.53\r\n\r\nNon-authoritative answer:\r\nName:    example.com\r\n"
      L"Addresses:  2001:db8::10\r\n          192.0.2.10\r\n\r\n";
  const std::wstring trace = L"\r\nTracing route to 192.0.2.1 over a maximum of 30 hops:\r\n  1    <1 ms    <1 ms    <1 ms  192.0.2.1\r\n";
  RunFacts facts;
  test::ReadRun(facts, RunTool::Ping, ping, 9);
  const auto at = static_cast<std::uint32_t>(ping.size());
  test::ReadRun(facts, RunTool::Lookup, lookup, 9, at);
  test::ReadRun(facts, RunTool::Traceroute, trace, 9, at + static_cast<std::uint32_t>(lookup.size()));
  EXPECT_EQ(facts.ProbeCount(), 4u);
  EXPECT_EQ(facts.Hops().size(), 1u);

  // Lookup output read as a ping run would give probes: the test above means something.
  RunFacts misread;
  test::ReadRun(misread, RunTool::Ping, lookup, 9);
  EXPECT_GT(misread.ProbeCount(), 0u);

  test::ReadRun(facts, RunTool::Ping, L"Pinging 192.0.2.1 with 32 bytes of data:\r\nRequest timed out.\r\n", 9, 5000);
  ASSERT_EQ(facts.ProbeCount(), 1u);
  EXPECT_EQ(facts.Probe(0).lineStart, 5000u + 42u);
  facts.Clear();
  EXPECT_EQ(facts.ProbeCount(), 0u);
  EXPECT_TRUE(facts.Hops().empty());
}

// Clear during a run, in the middle of a line: the run reads on from the empty box, and
// the cleared line's rest is no probe.
TEST(PingReader, ClearDuringARun) {
  for (const std::wstring_view cut : {L"time=12ms TTL=117\r", L"\r"}) {
    RunFacts facts;
    facts.StartRun(RunTool::Ping, 500);
    const std::wstring before = L"Pinging 192.0.2.1 with 32 bytes of data:\r\nReply from 192.0.2.1: bytes=32 ";
    static_cast<void>(facts.Read(before, 500, 1));
    facts.Clear();
    const std::wstring after = std::wstring(cut) + L"\nRequest timed out.\r\n";
    static_cast<void>(facts.Read(after, 0, 2));
    ASSERT_EQ(facts.ProbeCount(), 1u);
    EXPECT_TRUE(facts.Probe(0).Lost());
    EXPECT_EQ(facts.Probe(0).lineStart, cut.size() + 1);
    EXPECT_EQ(facts.PingStatistics(), L"sent 1 · received 0 · lost 1 (100 %)");
  }
}

}  // namespace
}  // namespace vexlo
