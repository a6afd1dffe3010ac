#pragma once

// The goals the benchmarks are measured against, in one place: each benchmark prints the one it
// is held to next to its ratio. Raise a goal here, and nowhere else.
namespace BenchGoals {
// bench_startup: process start to main window shown, player / one bare QMainWindow.
constexpr double StartupRatio = 1.2;
// bench_first_frame: click to first rendered frame / a whole mpv process decoding one frame.
constexpr double FirstFrameRatio = 0.05;
// bench_memory: peak resident while playing 720p, MiB above mpv --vo=gpu.
constexpr double PlayingMemoryOverGpuMiB = 15;
// bench_download: the player's rate / curl's, click to complete.
constexpr double DownloadRatio = 0.9;
// bench_fetch: unknown hash to first frame (ms), and fetch throughput / the Python binding's.
constexpr double FetchFirstFrameMs = 3000;
constexpr double FetchThroughputRatio = 0.9;
// bench_service: announcements per second, with no errors.
constexpr double ServiceRequestsPerSecond = 5000;
// bench_playback at 1080p60: share of the frames shown, and CPU per film-second at most that of
// mpv --vo=x11 (ratio <= 1); at 2160p at least as many frames as the better mpv output (ratio
// >= 1); peak memory at most mpv --vo=gpu's + this many MiB.
constexpr double Playback1080ShownShare = 0.99;
constexpr double PlaybackCpuRatio = 1.0;
constexpr double Playback2160ShownRatio = 1.0;
constexpr double PlaybackMemoryOverGpuMiB = 30;
// bench_playback --soak: resident growth after the first two minutes, MiB.
constexpr double SoakGrowthMiB = 5;
} // namespace BenchGoals
