// A full disk is the terminal's fault, not the rows': a full update on a full file system ends with
// one message and exit 1, a disk full at start is named as such, and neither leaves a half-written
// history file behind. The terminal folder lies on a small file system of the test's own.

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/statvfs.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "localdb/connection.h"
#include "tests/support/process.h"
#include "tests/support/reference_service.h"
#include "tools/terminal_folder.h"

namespace pos::testing {
namespace {

namespace fs = std::filesystem;

// Writes a file that leaves `keep_kb` free on the file system of `folder`.
void fill(const fs::path& folder, const std::string& name, std::size_t keep_kb) {
  struct statvfs st {};
  ASSERT_EQ(::statvfs(folder.c_str(), &st), 0);
  const std::size_t free_kb = st.f_bavail * st.f_frsize / 1024;
  std::ofstream out(folder / name, std::ios::binary);
  const std::string kb(1024, '\0');
  for (std::size_t i = keep_kb; i < free_kb; ++i) out << kb;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(DiskFull, EndsTheRunWithOneMessageInsteadOfARowErrorPerRow) {
  TempFolder mounted("posfull");
  if (::mount("tmpfs", mounted.path().c_str(), "tmpfs", 0, "size=4m") != 0)
    GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
  struct Unmount {
    const fs::path& at;
    ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
  } unmount{mounted.path()};

  ReferenceService service({"--products", "2000"});
  const fs::path home = mounted / "t";
  TerminalSpec spec{home.string(), "001", "127.0.0.1", std::to_string(service.port())};
  spec.user = service.credential("001").user;
  spec.password = service.credential("001").password;
  make_terminal_folder(spec);
  const std::string db = (home / "Data" / "POS_LOC.GDB").string();
  const std::string run =
      std::string(POS_UPDATER_EXE) + " 1 --jobs 0 --headless --summary --home " + home.string() + " --local-db " + db;

  // Room for the answer (about 0.9 MB in Result.txt), not for the 2,000 products in the database.
  fill(mounted.path(), "filler", 1300);
  Outcome o = run_command(run);
  EXPECT_EQ(o.status, 1) << o.out << o.err;
  EXPECT_LE(count(o.out, "Data Error...!"), 1u) << o.out;
  EXPECT_NE(o.err.find("No space left on device"), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(home / "runs.jsonl.new"));
  // --summary counts as written only the rows that were committed.
  const auto at = o.err.find("written");
  ASSERT_NE(at, std::string::npos) << o.err;
  LocalConnection con;
  con.open(ConnectionParams{db});
  const auto kept =
      con.query("SELECT (SELECT COUNT(*) FROM LOC_PDC) + (SELECT COUNT(*) FROM LOC_TYPE) FROM RDB$DATABASE");
  EXPECT_EQ(std::stoul(o.err.substr(at + 7)), static_cast<std::size_t>(std::stoul(kept.at(0).at(0).as_text())))
      << o.err;
  con.close();

  // Full before the run starts.
  fill(mounted.path(), "more", 0);
  o = run_command(run);
  EXPECT_NE(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.err.find("No space left on device"), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(home / "runs.jsonl.new"));
}

}  // namespace
}  // namespace pos::testing
