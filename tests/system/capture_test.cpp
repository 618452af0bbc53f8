// The hand-over of tools/capture/velkor-capture, with a fake recorder that
// writes random bytes (and keeps a copy) and a fake receiver that, like
// velkor, reads each raw file to its end and deletes it.
#include "support/testplatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace velkor::test {
namespace {

const std::string kCapture = std::string(VELKOR_SOURCE_DIR) + "/tools/capture/velkor-capture";

void writeScript(const ScratchDir& dir, const std::string& name, const std::string& text) {
  dir.write(name, "#!/bin/sh\n" + text);
  std::filesystem::permissions(dir.path() / name, std::filesystem::perms::owner_exec,
                               std::filesystem::perm_options::add);
}

TEST(CaptureScript, HandsOverCompleteFilesOnlyAfterTheReceiverDeletedThePreviousOne) {
  const struct {
    int pieces; // of 2000 bytes, written 20 ms apart
    const char* environment;
    const char* arguments; // of the capture script
    const char* recorderArguments;
    const char* sizes; // of the files as they appear
  } cases[] = {
      // 14000 bytes: 3.5 files of 1000 Hz x 1 s x 4 bytes, the last one short.
      {7, "", "-D hw:7 -r 1000 -s 1 -o audio.dat", "-q -D hw:7 -t raw -f S16_LE -c 2 -r 1000\n",
       "4000\n4000\n4000\n2000\n"},
      // 8000 bytes: exactly two files of 500 Hz x 2 s x 4 bytes, no empty third one.
      {4, "VELKOR_CAPTURE_DEVICE=plughw:1 VELKOR_CAPTURE_RATE=500 VELKOR_CAPTURE_SECONDS=2", "",
       "-q -D plughw:1 -t raw -f S16_LE -c 2 -r 500\n", "4000\n4000\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sizes);
    ScratchDir dir;
    writeScript(dir, "fake-arecord",
                "echo \"$@\" > recorder-args\ni=0\n"
                "while [ $i -lt " +
                    std::to_string(c.pieces) +
                    " ]; do\n"
                    "  head -c 2000 /dev/urandom; i=$((i + 1)); sleep 0.02\n"
                    "done | tee sent.bin\n");
    // Notes each file's size when it first appears, reads slowly (the next
    // file must wait for the deletion), keeps the content and deletes the
    // file; ends when "stop" appears while no file waits, or after ~20 s idle.
    writeScript(dir, "fake-receiver",
                "idle=0\n"
                "while [ $idle -lt 2000 ]; do\n"
                "  if [ -e audio.dat ]; then\n"
                "    wc -c < audio.dat | tr -d ' ' >> sizes; sleep 0.1\n"
                "    cat audio.dat >> received.bin; rm audio.dat\n"
                "  elif [ -e stop ]; then break\n"
                "  else sleep 0.01; idle=$((idle + 1)); fi\n"
                "done\n");
    // The capture script ends only after it has handed over its last file.
    auto result = runProcess({"/bin/sh", "-c",
                              "./fake-receiver & receiver=$!\n" + std::string(c.environment) +
                                  " VELKOR_CAPTURE_RECORDER=./fake-arecord '" + kCapture + "' " + c.arguments +
                                  "\nstatus=$?\ntouch stop\nwait $receiver\nexit $status\n"},
                             dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(dir.read("recorder-args"), c.recorderArguments);
    EXPECT_EQ(dir.read("sizes"), c.sizes) << "every file complete when it first appears";
    EXPECT_EQ(dir.read("sent.bin").size(), 2000u * c.pieces);
    EXPECT_TRUE(dir.read("received.bin") == dir.read("sent.bin")) << "no byte lost, doubled or out of order";
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
      EXPECT_NE(entry.path().filename().string().rfind(".velkor-capture", 0), 0u) << "the spool is removed";
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "audio.dat"));
  }
}

} // namespace
} // namespace velkor::test
