#include "tests/headoffice/test_databases.h"

#include <unistd.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "headoffice/credentials/credential_store.h"
#include "headoffice/credentials/service_role.h"
#include "headoffice/storage/database_url.h"
#include "tests/headoffice/job_statements.h"
#include "tests/headoffice/scratch_postgres.h"
#include "tests/headoffice/terminal_client.h"
#include "tests/support/temp_folder.h"

namespace pos::test {
namespace {

#ifdef HEADOFFICE_TEST_POSTGRES
ScratchPostgres& server() {
  static ScratchPostgres instance;
  return instance;
}
#endif

}  // namespace

const char* backend_label() {
#ifdef HEADOFFICE_TEST_POSTGRES
  return "postgresql";
#else
  return "sqlite";
#endif
}

std::string fresh_database_url(const std::string& name) {
  static std::mutex mutex;
  static int counter = 0;
  std::lock_guard lock(mutex);
  const std::string unique = name + "_" + std::to_string(++counter);
#ifdef HEADOFFICE_TEST_POSTGRES
  return server().create_database(unique);
#else
  static pos::testing::TempFolder folder("ho-test");
  return "sqlite:" + (folder / (unique + ".db")).string();
#endif
}

headoffice::SeedOptions fixture_seed_options() {
  headoffice::SeedOptions o = headoffice::scale_options("small");
  o.terminals = {"001", "002"};
  o.seed = kFixtureSeed;
  o.today = std::string(kFixtureToday);
  return o;
}

std::string fixture_database_url(const std::string& name) {
  const std::string url = fresh_database_url(name);
  auto c = headoffice::open_database(url)->connect();
  headoffice::seed_database(*c, fixture_seed_options());
  headoffice::create_credential_table(*c);
  for (const std::string machine : {"001", "002"})
    headoffice::issue_credential(*c, machine, headoffice::CredentialRole::Terminal, terminal_password(machine));
  headoffice::issue_credential(*c, kViewerUser, headoffice::CredentialRole::Viewer, kViewerPassword);
  headoffice::Transaction tx(*c);
  for (const auto& line : fixture_setup()) c->execute(line);
  tx.commit();
  return url;
}

std::string service_role_url(const std::string& url) {
  auto c = headoffice::open_database(url)->connect();
  if (c->backend() != headoffice::Backend::Postgres) return url;
  headoffice::Transaction tx(*c);
  for (const auto& sql : headoffice::service_role_statements(kServiceRole, "pw-role")) c->execute(sql);
  tx.commit();
  const std::string owner = "user=postgres";
  std::string role_url = url;
  role_url.replace(role_url.find(owner), owner.size(), std::string("user=") + kServiceRole);
  return role_url;
}

}  // namespace pos::test
