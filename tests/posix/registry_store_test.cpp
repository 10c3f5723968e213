// The Linux build's settings store is made where it is missing: $SETUPEXT_REGISTRY itself, or
// .setupext-registry in the home folder, with the hive's and the key's folders below it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/registry.h"
#include "support/temp_tree.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for its lifetime, or unsets it; puts the old value back after.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    if (value) setenv(name, value->c_str(), 1);
    else unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(RegistryStore, IsMadeWhereItIsMissing) {
  testing::TempTree tree;
  const std::string root = tree.root_text();
  const struct {
    const char* name;
    std::optional<std::string> store, home;
    fs::path made;  // the store folder the call must have made
  } cases[] = {
      {"named store", root + "/named", root + "/unused-home", root + "/named"},
      {"home's store", std::nullopt, root + "/home", root + "/home/.setupext-registry"},
  };
  tree.MakeFolder("home");
  for (const auto& c : cases) {
    const ScopedVariable store("SETUPEXT_REGISTRY", c.store);
    const ScopedVariable home("HOME", c.home);
    EXPECT_FALSE(OpenRegistryKey(RegistryRoot::kCurrentUser, "Software\\Example").is_open()) << c.name;
    EXPECT_FALSE(fs::exists(c.made)) << c.name << ": a key that is only read makes no store";
    EXPECT_TRUE(CreateRegistryKey(RegistryRoot::kCurrentUser, "Software\\Example").is_open()) << c.name;
    EXPECT_TRUE(fs::is_directory(c.made / "HKEY_CURRENT_USER" / "Software" / "Example")) << c.name;
    EXPECT_TRUE(OpenRegistryKey(RegistryRoot::kCurrentUser, "Software\\Example").is_open()) << c.name;
  }
}

}  // namespace
}  // namespace setupext
