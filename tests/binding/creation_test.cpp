// Registration, creation by programmatic identifier and unregistration, with
// the built shared library loaded as a caller loads it.
#include <dlfcn.h>
#include <link.h>

#include <gtest/gtest.h>

#include "tallygate/component_server.h"
#include "tallygate/dispatch_ref.h"
#include "tallygate/registry.h"
#include "tallygate/runtime.h"
#include "tests/support/host_capture.h"
#include "tests/support/object_fixture.h"
#include "tests/support/temp_dir.h"

namespace tallygate {
namespace {

using testing::ScopedEnv;
using testing::TempDir;

template <typename Fn>
Fn Entry(void* library, const char* name) {
  return reinterpret_cast<Fn>(dlsym(library, name));
}

class CreationTest : public ::testing::Test {
 protected:
  CreationTest()
      : registry_env_(registry::kStoreVariable, store_.string()),
        home_env_("TALLYGATE_HOME", dir_.path().string()),
        locale_env_("TALLYGATE_SYSTEM_LOCALE", "en_US.UTF-8") {
    library_ = dlopen(TALLYGATE_V70_PATH, RTLD_NOW | RTLD_LOCAL);
  }
  ~CreationTest() override {
    if (library_ != nullptr) dlclose(library_);
  }

  // The object, or the error of its creation.
  Outcome Create(const char* prog_id = TG_CONNECT_V70_PROG_ID, DispatchRef* object = nullptr) {
    Outcome outcome;
    tg_dispatch* raw = nullptr;
    tg_error error{};
    outcome.number = tg_create_object(prog_id, &raw, &error);
    if (outcome.number != 0) {
      EXPECT_EQ(raw, nullptr);
      outcome.description = error.description != nullptr ? error.description : "";
    }
    tg_error_clear(&error);
    DispatchRef made = DispatchRef::Adopt(raw);
    if (object != nullptr) *object = std::move(made);
    return outcome;
  }

  TempDir dir_;
  std::filesystem::path store_ = dir_ / "components";
  ScopedEnv registry_env_;
  ScopedEnv home_env_;
  ScopedEnv locale_env_;
  void* library_ = nullptr;
};

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(CreationTest, RegisterCreateCallUnregister) {
  ASSERT_NE(library_, nullptr) << dlerror();
  auto register_server = Entry<tg_register_server_fn>(library_, "DllRegisterServer");
  auto unregister_server = Entry<tg_unregister_server_fn>(library_, "DllUnregisterServer");
  auto can_unload = Entry<tg_can_unload_now_fn>(library_, "DllCanUnloadNow");
  ASSERT_NE(register_server, nullptr);
  ASSERT_NE(unregister_server, nullptr);
  ASSERT_NE(can_unload, nullptr);

  ASSERT_EQ(register_server(), 0);
  const std::vector<registry::Entry> entries = registry::ReadStore(store_);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].prog_id, TG_CONNECT_V70_PROG_ID);
  EXPECT_EQ(entries[0].class_id, TG_CONNECT_V70_CLASS_ID);
  EXPECT_EQ(entries[0].library, std::filesystem::path(TALLYGATE_V70_PATH));
  ASSERT_EQ(register_server(), 0) << "registering again";
  EXPECT_EQ(registry::ReadStore(store_).size(), 1u);

  EXPECT_EQ(can_unload(), TG_S_OK);
  {
    DispatchRef object;
    const Outcome created = Create("tallygate_V70.connect_v70", &object);
    ASSERT_TRUE(created.ok()) << created.description;
    EXPECT_EQ(object.Get("Ver").text().substr(0, 6), "V7.4.2");
    object.Put("Mode", Variant("1"));
    EXPECT_EQ(object.Get("Mode").i2(), 1);
    EXPECT_EQ(can_unload(), TG_S_FALSE) << "an object is alive";
  }
  EXPECT_EQ(can_unload(), TG_S_OK);

  ASSERT_EQ(unregister_server(), 0);
  EXPECT_TRUE(registry::ReadStore(store_).empty());
  EXPECT_EQ(unregister_server(), 0) << "nothing left to remove is no failure";
  const Outcome gone = Create();
  EXPECT_EQ(gone.number, err::kCantCreateObject);
  EXPECT_TRUE(Contains(gone.description, "not registered")) << gone.description;
}

TEST_F(CreationTest, UnregisteredIdentifierSaysWhereItLooked) {
  const Outcome outcome = Create();
  EXPECT_EQ(outcome.number, err::kCantCreateObject);
  EXPECT_TRUE(Contains(outcome.description, TG_CONNECT_V70_PROG_ID)) << outcome.description;
  EXPECT_TRUE(Contains(outcome.description, "not registered")) << outcome.description;
  EXPECT_TRUE(Contains(outcome.description, store_.string())) << outcome.description;
}

TEST_F(CreationTest, LibraryThatDoesNotLoadSaysWhichAndWhere) {
  const std::filesystem::path missing = dir_ / "missing" / "libTALLYGATE_V70.so";
  const std::filesystem::path not_a_library = dir_ / "notes.so";
  testing::WriteFile(not_a_library, "just text\n");
  for (const std::filesystem::path& path : {missing, not_a_library}) {
    registry::Add(store_, {TG_CONNECT_V70_PROG_ID, TG_CONNECT_V70_CLASS_ID, path});
    const Outcome outcome = Create();
    EXPECT_EQ(outcome.number, err::kErrorInLoadingDll) << outcome.description;
    EXPECT_TRUE(Contains(outcome.description, path.string())) << outcome.description;
    EXPECT_TRUE(Contains(outcome.description, store_.string())) << outcome.description;
  }
}

// The full path of the C library this process runs with.
std::string LibcPath() {
  void* libc = dlopen("libc.so.6", RTLD_NOW | RTLD_NOLOAD);
  link_map* map = nullptr;
  if (libc == nullptr || dlinfo(libc, RTLD_DI_LINKMAP, &map) != 0) return {};
  std::string path = map->l_name;
  dlclose(libc);
  return path;
}

TEST_F(CreationTest, LibraryThatIsNoComponentOrLacksTheClass) {
  const std::string libc = LibcPath();
  ASSERT_FALSE(libc.empty());
  registry::Add(store_, {TG_CONNECT_V70_PROG_ID, TG_CONNECT_V70_CLASS_ID, libc});
  const Outcome no_entry = Create();
  EXPECT_EQ(no_entry.number, err::kDllFunctionNotFound) << no_entry.description;
  EXPECT_TRUE(Contains(no_entry.description, "DllGetClassObject")) << no_entry.description;

  registry::Add(store_, {TG_CONNECT_V70_PROG_ID, "{00000000-0000-0000-0000-000000000000}",
                         TALLYGATE_V70_PATH});
  const Outcome wrong_class = Create();
  EXPECT_EQ(wrong_class.number, err::kCantCreateObject) << wrong_class.description;
  EXPECT_TRUE(Contains(wrong_class.description, "does not serve")) << wrong_class.description;
}

TEST_F(CreationTest, FactoryAndServerLocks) {
  ASSERT_NE(library_, nullptr) << dlerror();
  auto get_class_object = Entry<tg_get_class_object_fn>(library_, "DllGetClassObject");
  auto can_unload = Entry<tg_can_unload_now_fn>(library_, "DllCanUnloadNow");
  tg_class_factory* factory = nullptr;
  EXPECT_EQ(get_class_object("{00000000-0000-0000-0000-000000000000}", &factory),
            err::kCantCreateObject);
  EXPECT_EQ(factory, nullptr);
  ASSERT_EQ(get_class_object("{7a3c2e91-4b6d-4f08-9e15-c0d8b2a6f473}", &factory), 0);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(can_unload(), TG_S_FALSE) << "a factory is alive";
  factory->vtbl->lock_server(factory, 1);
  factory->vtbl->release(factory);
  EXPECT_EQ(can_unload(), TG_S_FALSE) << "the server is locked";
  ASSERT_EQ(get_class_object(TG_CONNECT_V70_CLASS_ID, &factory), 0);
  factory->vtbl->lock_server(factory, 0);
  factory->vtbl->release(factory);
  EXPECT_EQ(can_unload(), TG_S_OK);
}

TEST_F(CreationTest, HostServicesReachTheLoadedLibrary) {
  ASSERT_NE(library_, nullptr) << dlerror();
  ASSERT_EQ(Entry<tg_register_server_fn>(library_, "DllRegisterServer")(), 0);
  // A settings file of three lines: creation tells the host and goes on.
  testing::WriteFile(dir_ / "TallySystem.ini", "coninputmodebinary\n19200,n,8,1\n2048\n");
  struct Seen {
    std::vector<std::string> boxes;
    std::vector<std::string> about;
  } seen;
  tg_host_services services{};
  services.context = &seen;
  services.message_box = [](void* context, const char* title, const char* text, int32_t) {
    static_cast<Seen*>(context)->boxes.push_back(std::string(title) + "|" + text);
    return int32_t{TG_ANSWER_OK};
  };
  services.show_about = [](void* context, const char* caption, const char*, const char*) {
    static_cast<Seen*>(context)->about.push_back(caption);
  };
  tg_runtime_set_host_services(&services);
  DispatchRef object;
  const Outcome created = Create(TG_CONNECT_V70_PROG_ID, &object);
  ASSERT_TRUE(created.ok()) << created.description;
  object.Call("ShowAbout");
  tg_runtime_set_host_services(nullptr);
  object.Call("ShowAbout");  // to standard error now
  EXPECT_EQ(seen.boxes, std::vector<std::string>{
                            "Err:TALLYGATE_v70.dll|Class initialize failed Becaus the Port "
                            "already opened."});
  EXPECT_EQ(seen.about, std::vector<std::string>{"About..."});
}

}  // namespace
}  // namespace tallygate
