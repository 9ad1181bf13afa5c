// Generated drill tapes shared by the tape benchmarks and their peer scripts
// (bench/tape_read_vs_peer.sh, bench/drill_import_vs_peer.sh read the file
// the benchmark wrote).
#pragma once
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

// A tape of n hits in rows of 500, with a tool change every 10,000 hits (20
// tools) and an unparsed comment block now and then; written once into
// $TMPDIR/korvex_bench/tape_<n>.drl.
inline std::filesystem::path MakeTape(int64_t n) {
  const auto dir = std::filesystem::temp_directory_path() / "korvex_bench";
  std::filesystem::create_directories(dir);
  const auto path = dir / ("tape_" + std::to_string(n) + ".drl");
  if (std::filesystem::exists(path)) return path;
  std::ofstream out(path);
  out << "M48\nINCH,TZ\n";
  for (int t = 1; t <= 20; ++t) out << "T" << t << "C0." << (10 + t) << "\n";
  out << "%\nG90\nG05\n";
  for (int64_t i = 0; i < n; ++i) {
    if (i % 10000 == 0) out << "T" << (1 + (i / 10000) % 20) << "\n";
    if (i % 5000 == 0) out << "N" << i << "\n";
    out << "X" << (i % 500) * 100 << "Y" << (i / 500) * 100 << "\n";
  }
  out << "M30\n";
  return path;
}
