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
  dir.write(name, text);
  std::filesystem::permissions(dir.path() / name, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add);
}

// Writes `pieces` pieces of `piece` bytes with short pauses, as a sound card
// would, to stdout and to sent.bin; notes its arguments in recorder-args.
void writeFakeRecorder(const ScratchDir& dir, int pieces, int piece) {
  writeScript(dir, "fake-arecord",
              "#!/bin/sh\n"
              "echo \"$@\" > recorder-args\n"
              "i=0\n"
              "while [ $i -lt " + std::to_string(pieces) + " ]; do\n"
              "  head -c " + std::to_string(piece) + " /dev/urandom\n"
              "  i=$((i + 1))\n"
              "  sleep 0.02\n"
              "done | tee sent.bin\n");
}

// Takes raw files until the file "stop" appears while no raw file waits:
// notes each file's size when it first appears, reads slowly (the next file
// must wait for the deletion), appends the content to received.bin and
// deletes the file. Gives up after about 20 s without a file.
void writeFakeReceiver(const ScratchDir& dir) {
  writeScript(dir, "fake-receiver",
              "#!/bin/sh\n"
              "idle=0\n"
              "while [ $idle -lt 2000 ]; do\n"
              "  if [ -e audio.dat ]; then\n"
              "    wc -c < audio.dat | tr -d ' ' >> sizes\n"
              "    sleep 0.1\n"
              "    cat audio.dat >> received.bin\n"
              "    rm audio.dat\n"
              "  elif [ -e stop ]; then\n"
              "    break\n"
              "  else\n"
              "    sleep 0.01\n"
              "    idle=$((idle + 1))\n"
              "  fi\n"
              "done\n");
}

ProcessResult runCapture(const ScratchDir& dir, const std::string& environment, const std::string& arguments) {
  // The capture script ends only after it has handed over its last file.
  std::string script = "./fake-receiver & receiver=$!\n" + environment +
                       " VELKOR_CAPTURE_RECORDER=./fake-arecord '" + kCapture + "' " + arguments +
                       "\nstatus=$?\ntouch stop\nwait $receiver\nexit $status\n";
  return runProcess({"/bin/sh", "-c", script}, dir.path());
}

bool spoolLeft(const ScratchDir& dir) {
  for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
    if (entry.path().filename().string().rfind(".velkor-capture", 0) == 0) return true;
  return false;
}

TEST(CaptureScript, HandsOverCompleteFilesOnlyAfterTheReceiverDeletedThePreviousOne) {
  ScratchDir dir;
  writeFakeRecorder(dir, 7, 2000);  // 14000 bytes: 3.5 files of 1000 Hz x 1 s x 4 bytes
  writeFakeReceiver(dir);
  ProcessResult result = runCapture(dir, "", "-D hw:7 -r 1000 -s 1 -o audio.dat");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(dir.read("recorder-args"), "-q -D hw:7 -t raw -f S16_LE -c 2 -r 1000\n");
  EXPECT_EQ(dir.read("sizes"), "4000\n4000\n4000\n2000\n") << "every file complete when it first appears";
  std::string sent = dir.read("sent.bin");
  ASSERT_EQ(sent.size(), 14000u);
  EXPECT_TRUE(dir.read("received.bin") == sent) << "no byte lost, doubled or out of order";
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "audio.dat"));
  EXPECT_FALSE(spoolLeft(dir)) << "the spool directory is removed at the end";
}

TEST(CaptureScript, TakesItsSettingsFromTheEnvironment) {
  ScratchDir dir;
  writeFakeRecorder(dir, 4, 2000);  // 8000 bytes: two files of 500 Hz x 2 s x 4 bytes = 4000
  writeFakeReceiver(dir);
  ProcessResult result = runCapture(
      dir, "VELKOR_CAPTURE_DEVICE=plughw:1 VELKOR_CAPTURE_RATE=500 VELKOR_CAPTURE_SECONDS=2 VELKOR_CAPTURE_FILE=audio.dat",
      "");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(dir.read("recorder-args"), "-q -D plughw:1 -t raw -f S16_LE -c 2 -r 500\n");
  EXPECT_EQ(dir.read("sizes"), "4000\n4000\n");
  EXPECT_TRUE(dir.read("received.bin") == dir.read("sent.bin"));
}

TEST(CaptureScript, NeverHandsOverAnEmptyFile) {
  ScratchDir dir;
  writeFakeRecorder(dir, 2, 2000);  // exactly one file of 4000 bytes, then the end
  writeFakeReceiver(dir);
  ProcessResult result = runCapture(dir, "", "-r 1000 -s 1");
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(dir.read("sizes"), "4000\n");
}

TEST(CaptureScript, RefusesBadSettingsAndAMissingRecorder) {
  ScratchDir dir;
  auto run = [&](const std::string& command) { return runProcess({"/bin/sh", "-c", command}, dir.path()); };
  ProcessResult rate = run("'" + kCapture + "' -r 48k");
  EXPECT_EQ(rate.status, 1);
  EXPECT_NE(rate.err.find("rate must be a whole number"), std::string::npos) << rate.err;
  ProcessResult seconds = run("'" + kCapture + "' -s 0");
  EXPECT_EQ(seconds.status, 1);
  EXPECT_NE(seconds.err.find("seconds must be above 0"), std::string::npos) << seconds.err;
  ProcessResult recorder = run("VELKOR_CAPTURE_RECORDER=./no-such-recorder '" + kCapture + "'");
  EXPECT_EQ(recorder.status, 1);
  EXPECT_NE(recorder.err.find("recorder not found"), std::string::npos) << recorder.err;
  ProcessResult usage = run("'" + kCapture + "' extra");
  EXPECT_EQ(usage.status, 2);
  EXPECT_FALSE(spoolLeft(dir));
}

} // namespace
} // namespace velkor::test
