#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_facts/run_facts.h"
#include "run_facts/transcripts.h"

namespace vexlo {
namespace {

constexpr std::uint32_t L_ = kLostProbe;

struct TraceCase {
  const char* name;
  std::wstring header;
  std::wstring unit;  // between each time and the next field
  std::wstring timedOut;
  std::wstring footer;
};

// Hop 3 has the slowest single probe (90 ms), hop 4 the slowest best time (48 ms).
std::wstring Hops(const std::wstring& unit, const std::wstring& timedOut, const std::wstring& lastHost) {
  return L"  1    <1" + unit + L"    <1" + unit + L"    <1" + unit + L"  192.168.1.1\r\n" +
         L"  2     *        *        *     " + timedOut + L"\r\n" +
         L"  3    12" + unit + L"    90" + unit + L"    13" + unit + L"  10.0.0.1\r\n" +
         L"  4    48" + unit + L"     *       50" + unit + L"  " + lastHost + L"\r\n";
}

std::vector<TraceCase> TraceCases() {
  return {
      {"English", L"\r\nTracing route to example.com [93.184.216.34]\r\nover a maximum of 30 hops:\r\n\r\n", L" ms",
       L"Request timed out.", L"\r\nTrace complete.\r\n"},
      {"German", L"\r\nRoutenverfolgung zu example.com [93.184.216.34]\r\nüber maximal 30 Hops:\r\n\r\n", L" ms",
       L"Zeitüberschreitung der Anforderung.", L"\r\nAblaufverfolgung beendet.\r\n"},
      {"French", L"\r\nDétermination de l’itinéraire vers example.com [93.184.216.34]\r\navec un maximum de 30 sauts :\r\n\r\n",
       L" ms", L"Délai d’attente de la demande dépassé.", L"\r\nItinéraire déterminé.\r\n"},
      {"Spanish", L"\r\nTraza a la dirección example.com [93.184.216.34]\r\nsobre un máximo de 30 saltos:\r\n\r\n", L" ms",
       L"Tiempo de espera agotado para esta solicitud.", L"\r\nTraza completa.\r\n"},
      {"Russian", L"\r\nТрассировка маршрута к example.com [93.184.216.34]\r\nс максимальным числом прыжков 30:\r\n\r\n", L" мс",
       L"Превышен интервал ожидания для запроса.", L"\r\nТрассировка завершена.\r\n"},
      {"Japanese", L"\r\nexample.com [93.184.216.34] へのルートをトレースしています\r\n経由するホップ数は最大 30 です:\r\n\r\n", L" ms",
       L"要求がタイムアウトしました。", L"\r\nトレースを完了しました。\r\n"},
      {"Chinese", L"\r\n通过最多 30 个跃点跟踪\r\n到 example.com [93.184.216.34] 的路由:\r\n\r\n", L" 毫秒", L"请求超时。",
       L"\r\n跟踪完成。\r\n"},
      {"units without a space", L"Tracing route to example.com [93.184.216.34]\r\n\r\n", L"ms", L"Request timed out.", L""},
  };
}

TEST(TraceReader, ReadsHopsInEveryLanguageWhateverThePieces) {
  for (const TraceCase& c : TraceCases()) {
    for (const bool v6 : {false, true}) {
      const std::wstring lastHost = v6 ? L"2001:db8::1" : L"example.com [93.184.216.34]";
      const std::wstring text = c.header + Hops(c.unit, c.timedOut, lastHost) + c.footer;
      for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, text.size()}) {
        SCOPED_TRACE(std::string(c.name) + (v6 ? " IPv6" : " IPv4") + ", pieces of " + std::to_string(piece));
        RunFacts facts;
        test::ReadRun(facts, RunTool::Traceroute, text, piece);
        const std::vector<TraceHop>& hops = facts.Hops();
        ASSERT_EQ(hops.size(), 4u);
        const std::uint32_t expected[4][4] = {{0, 0, 0, 0}, {L_, L_, L_, L_}, {12, 90, 13, 12}, {48, L_, 50, 48}};
        for (std::size_t i = 0; i < 4; ++i) {
          EXPECT_EQ(hops[i].number, i + 1);
          EXPECT_EQ(std::vector<std::uint32_t>(hops[i].probeMs, hops[i].probeMs + 3),
                    std::vector<std::uint32_t>(expected[i], expected[i] + 3)) << "hop " << i + 1;
          EXPECT_EQ(hops[i].bestMs, expected[i][3]) << "hop " << i + 1;
          EXPECT_EQ(text.substr(hops[i].lineStart, hops[i].lineLength).find(L"  " + std::to_wstring(i + 1) + L" "), 0u);
          EXPECT_EQ(text[hops[i].lineStart + hops[i].lineLength], L'\r');
        }
        EXPECT_EQ(hops[0].host, L"192.168.1.1");
        EXPECT_EQ(hops[1].host, c.timedOut);
        EXPECT_EQ(hops[3].host, lastHost);
        EXPECT_EQ(facts.TraceStatistics(), L"hops 4 · replied 3 · slowest hop 4 (48 ms)");
      }
    }
  }
}

// Lines that start with a number but are no hop lines.
TEST(TraceReader, OtherLinesAreNoHops) {
  RunFacts facts;
  test::ReadRun(facts, RunTool::Traceroute,
                L"192.0.2.1 へのルートをトレースしています\r\n"
                L"  5  10.0.0.1  reports: Destination net unreachable.\r\n"
                L"  6    12 ms  13 ms\r\n"
                L"30 hops max\r\n",
                4);
  EXPECT_TRUE(facts.Hops().empty());
  EXPECT_EQ(facts.TraceStatistics(), L"hops 0 · replied 0");
  test::ReadRun(facts, RunTool::Traceroute, L"  1     *        *        *     Request timed out.", 4);
  EXPECT_EQ(facts.TraceStatistics(), L"hops 1 · replied 0");
}

}  // namespace
}  // namespace vexlo
