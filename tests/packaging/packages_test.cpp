// The two Debian packages as dpkg sees them: cpack runs once on the built tree into a temporary
// folder, then each package's file list, control fields, maintainer scripts, programs and systemd
// units are checked from what dpkg-deb unpacks.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/exit_status.h"
#include "tests/support/process.h"
#include "tests/support/temp_folder.h"

namespace pos {
namespace {

namespace fs = std::filesystem;
using testing::Outcome;
using testing::run_command;
using testing::TempFolder;

std::string quoted(const fs::path& p) { return "'" + p.string() + "'"; }

std::string read_file(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> split(const std::string& text, char sep) {
  std::vector<std::string> out;
  std::stringstream s(text);
  for (std::string item; std::getline(s, item, sep);) {
    const auto b = item.find_first_not_of(" \n");
    const auto e = item.find_last_not_of(" \n");
    if (b != std::string::npos) out.push_back(item.substr(b, e - b + 1));
  }
  return out;
}

// "libc6 (>= 2.34)" -> "libc6"; "a | b" -> "a".
std::string package_name(const std::string& relation) { return relation.substr(0, relation.find_first_of(" (|")); }

struct Package {
  std::string name;
  fs::path deb, root, control;
  std::map<std::string, std::string> files;  // "./usr/bin/x" -> "-rwxr-xr-x root/root"
  std::string field(const std::string& f) const {
    Outcome o = run_command("dpkg-deb -f " + quoted(deb) + " " + f);
    return o.out.empty() ? "" : o.out.substr(0, o.out.find_last_not_of('\n') + 1);
  }
};

class Packages : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    folder_ = std::make_unique<TempFolder>("pospkg");
    // -B keeps cpack's staging and output in the temporary folder, away from the build tree.
    cpack_ = run_command("cpack --config " + quoted(fs::path(BUILD_DIR) / "CPackConfig.cmake") + " -B " +
                         quoted(folder_->path() / "out"));
    for (const std::string name : {"pos-updater", "headoffice-service"}) {
      Package p{name,
                folder_->path() / "out" / (name + "_" POS_VERSION "_" + architecture() + ".deb"),
                folder_->path() / name,
                folder_->path() / (name + ".control"),
                {}};
      run_command("dpkg-deb -x " + quoted(p.deb) + " " + quoted(p.root) + " && dpkg-deb -e " + quoted(p.deb) + " " +
                  quoted(p.control));
      // dpkg-deb -c: "-rwxr-xr-x root/root 123 2026-01-01 00:00 ./usr/bin/x"
      for (const auto& line : split(run_command("dpkg-deb -c " + quoted(p.deb)).out, '\n')) {
        std::stringstream s(line);
        std::string mode, owner, size, date, time, path;
        s >> mode >> owner >> size >> date >> time >> path;
        if (mode.starts_with('-')) p.files[path] = mode + " " + owner;
      }
      packages_[name] = std::move(p);
    }
  }
  static void TearDownTestSuite() {
    packages_.clear();
    folder_.reset();
  }
  void SetUp() override {
    ASSERT_EQ(cpack_.status, 0) << cpack_.out << cpack_.err;
    for (const auto& [name, p] : packages_) ASSERT_TRUE(fs::exists(p.deb)) << p.deb << "\n" << cpack_.out;
  }

  static std::string architecture() { return split(run_command("dpkg --print-architecture").out, '\n').at(0); }

  static inline std::unique_ptr<TempFolder> folder_;
  static inline Outcome cpack_;
  static inline std::map<std::string, Package> packages_;
};

TEST_F(Packages, HoldTheProgramsUnitsAndSettingsWithTheirModesAndNothingElse) {
  const std::map<std::string, std::map<std::string, std::string>> expected = {
      {"pos-updater",
       {{"./usr/bin/pos-updater", "-rwxr-xr-x root/root"},
        {"./usr/bin/terminal-init", "-rwxr-xr-x root/root"},
        {"./usr/lib/systemd/system/pos-updater-full@.service", "-rw-r--r-- root/root"},
        {"./usr/lib/systemd/system/pos-updater-full@.timer", "-rw-r--r-- root/root"},
        {"./usr/lib/systemd/system/pos-updater-changes@.service", "-rw-r--r-- root/root"},
        {"./usr/lib/systemd/system/pos-updater-changes@.timer", "-rw-r--r-- root/root"}}},
      {"headoffice-service",
       {{"./usr/bin/headoffice-service", "-rwxr-xr-x root/root"},
        {"./usr/lib/systemd/system/headoffice-service.service", "-rw-r--r-- root/root"},
        // It holds the service password.
        {"./etc/headoffice-service/headoffice.conf", "-rw------- root/root"}}},
  };
  for (const auto& [name, files] : expected) {
    const Package& p = packages_.at(name);
    EXPECT_EQ(p.files, files) << name;
    EXPECT_EQ(p.field("Package"), name);
    EXPECT_EQ(p.field("Version"), POS_VERSION);
    EXPECT_EQ(p.field("Architecture"), architecture());
    // Every maintainer script is executable and parses.
    for (const char* script : {"postinst", "prerm", "postrm"}) {
      const fs::path s = p.control / script;
      ASSERT_TRUE(fs::exists(s)) << name << " " << script;
      EXPECT_TRUE((fs::status(s).permissions() & fs::perms::owner_exec) != fs::perms::none) << s;
      EXPECT_EQ(run_command("sh -n " + quoted(s)).status, 0) << s;
    }
  }
  EXPECT_EQ(read_file(packages_.at("headoffice-service").control / "conffiles"),
            "/etc/headoffice-service/headoffice.conf\n");
}

TEST_F(Packages, DependOnInstalledDebianRuntimePackagesOnly) {
  struct Case {
    std::string package;
    std::vector<std::string> depends, recommends;
  };
  const std::vector<Case> cases = {
      {"pos-updater",
       {"libfbclient2", "libcurl4", "libexpat1", "libqt6widgets6", "firebird3.0-server-core", "adduser"},
       {"firebird3.0-server", "qt6-qpa-plugins"}},
      {"headoffice-service", {"libsqlite3-0", "libpq5", "adduser"}, {}},
  };
  for (const auto& c : cases) {
    const Package& p = packages_.at(c.package);
    std::vector<std::string> depends;
    for (const auto& relation : split(p.field("Depends"), ',')) depends.push_back(package_name(relation));
    for (const auto& want : c.depends)
      EXPECT_NE(std::find(depends.begin(), depends.end(), want), depends.end()) << want;
    for (const auto& name : depends) {
      EXPECT_FALSE(name.ends_with("-dev")) << c.package << ": " << name;
      EXPECT_EQ(run_command("dpkg-query -W -f='${Status}' " + name).out, "install ok installed")
          << c.package << " depends on " << name << ", which is not an installed Debian package";
    }
    const std::string recommends = p.field("Recommends");
    for (const auto& want : c.recommends) EXPECT_NE(recommends.find(want), std::string::npos) << want;
  }
}

TEST_F(Packages, ProgramsRunFromTheUnpackedTreeWithoutBuildPaths) {
  struct Case {
    std::string package, program, args, prints;
  };
  const std::vector<Case> cases = {
      {"pos-updater", "pos-updater", "--version", POS_VERSION},
      {"pos-updater", "terminal-init", "--help", "--machine"},
      {"headoffice-service", "headoffice-service", "serve --help", "--listen"},
  };
  for (const auto& c : cases) {
    const fs::path exe = packages_.at(c.package).root / "usr/bin" / c.program;
    const Outcome run = run_command(quoted(exe) + " " + c.args);
    EXPECT_EQ(run.status, 0) << exe << "\n" << run.err;
    EXPECT_NE(run.out.find(c.prints), std::string::npos) << exe << "\n" << run.out;
    // Stripped, and no search path into the build tree.
    const std::string dynamic = run_command("readelf -d -S " + quoted(exe)).out;
    EXPECT_EQ(dynamic.find("RUNPATH"), std::string::npos) << exe;
    EXPECT_EQ(dynamic.find("RPATH"), std::string::npos) << exe;
    EXPECT_EQ(dynamic.find(".debug_info"), std::string::npos) << exe;
  }
}

TEST_F(Packages, UnitsAreSoundAndReadWhatThePackagesInstall) {
  const fs::path units_dir = "usr/lib/systemd/system";
  // Every timer starts a service of its own name in the same package.
  const fs::path pos_units = packages_.at("pos-updater").root / units_dir;
  for (const char* timer : {"pos-updater-full@", "pos-updater-changes@"}) {
    EXPECT_TRUE(fs::exists(pos_units / (std::string(timer) + ".service"))) << timer;
    EXPECT_NE(read_file(pos_units / (std::string(timer) + ".timer")).find("WantedBy=timers.target"), std::string::npos);
  }
  // pos-updater locks the terminal folder itself: the changes update counts its status for "another
  // run holds the folder" as done, the full update waits for the same lock file first.
  const std::string busy = std::to_string(kFolderBusy);
  EXPECT_NE(read_file(pos_units / "pos-updater-changes@.service").find("\nSuccessExitStatus=" + busy + "\n"),
            std::string::npos);
  EXPECT_NE(read_file(pos_units / "pos-updater-full@.service").find(" %f/pos-updater.lock "), std::string::npos);
  // The service reads its settings from the file the package installs, with every key the command
  // line needs.
  const Package& ho = packages_.at("headoffice-service");
  const std::string unit = read_file(ho.root / units_dir / "headoffice-service.service");
  EXPECT_NE(unit.find("EnvironmentFile=/etc/headoffice-service/headoffice.conf\n"), std::string::npos);
  const std::string conf = read_file(ho.root / "etc/headoffice-service/headoffice.conf");
  // Terminals sign in with credentials of their own: no shared one by default.
  for (const char* key : {"HEADOFFICE_DB=", "HEADOFFICE_LISTEN=", "\nHEADOFFICE_USER=\n", "\nHEADOFFICE_PASSWORD=\n"})
    EXPECT_NE(conf.find(key), std::string::npos) << key;

  if (run_command("command -v systemd-analyze").status != 0) GTEST_SKIP() << "no systemd-analyze here";
  // systemd-analyze --root looks for everything under the root: the package's files, then the
  // system's own units (sysinit.target, ...) and the programs the units start besides ours.
  const fs::path root = folder_->path() / "verify";
  ASSERT_EQ(run_command("mkdir -p " + quoted(root / "bin") + " && cp -a " + quoted(packages_.at("pos-updater").root) +
                        "/. " + quoted(packages_.at("headoffice-service").root) + "/. " + quoted(root) +
                        " && cp -rn /lib/systemd/system/. " + quoted(root / units_dir) + " && cp /usr/bin/flock " +
                        quoted(root / "usr/bin") + " && cp /bin/sh /bin/true " + quoted(root / "bin"))
                .status,
            0);
  // Templates through an instance; a warning (an unknown key, a value ignored) fails too.
  const Outcome verify = run_command("systemd-analyze verify --root=" + quoted(root) +
                                     " pos-updater-full@opt-pos.timer pos-updater-full@opt-pos.service"
                                     " pos-updater-changes@opt-pos.timer pos-updater-changes@opt-pos.service"
                                     " headoffice-service.service");
  EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
  EXPECT_EQ(verify.out + verify.err, "");
}

}  // namespace
}  // namespace pos
