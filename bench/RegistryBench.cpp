// The registry's hot paths: a settings save (a few hundred values, one file write), reading a
// value through an open key, and reading a hive file back.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryFiles.h"

namespace {

constexpr const char16_t* kProduct = u"SOFTWARE\\Corvessa\\QuillMark For Outlook";

void setText(HKEY key, const char16_t* name, const std::u16string& text) {
  RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>((text.size() + 1) * 2));
}

void setDword(HKEY key, const char16_t* name, DWORD value) {
  RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// As the settings store saves: the product key stays open while the trees are rewritten.
void saveSettings(int templates) {
  HKEY product = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER, kProduct, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &product, nullptr);
  for (const char16_t* flag : {u"Use Outlook buttons", u"Create Toolbar", u"Tidy HTML", u"Enable Logging"}) {
    setDword(product, flag, 1);
  }
  setText(product, u"Log path", u"/home/anna/quillmark.log");
  HKEY root = nullptr;
  RegCreateKeyExW(product, u"Templates", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &root, nullptr);
  RegDeleteTreeW(root, u"1033");
  HKEY locale = nullptr;
  RegCreateKeyExW(root, u"1033\\IPM.Note", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &locale, nullptr);
  for (int i = 1; i <= templates; ++i) {
    const std::string name = "Template" + std::to_string(i);
    HKEY key = nullptr;
    RegCreateKeyExW(locale, std::u16string(name.begin(), name.end()).c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE,
                    nullptr, &key, nullptr);
    setText(key, u"Printing template", u"/opt/quillmark/Templates/memo" + std::u16string(name.begin(), name.end()) + u".htm");
    setText(key, u"DisplayName", u"Memo style");
    for (const char16_t* value : {u"IsFolder", u"printselection", u"pageto", u"pagefrom", u"responses"}) {
      setDword(key, value, 1);
    }
    RegCloseKey(key);
  }
  RegCloseKey(locale);
  RegCloseKey(root);
  RegCloseKey(product);
}

void BM_SaveSettings(benchmark::State& state) {
  platform::registry::resetForTesting();
  for (auto _ : state) saveSettings(static_cast<int>(state.range(0)));
  state.SetItemsProcessed(state.iterations() * state.range(0) * 7);  // values written
}
BENCHMARK(BM_SaveSettings)->Arg(40)->Unit(benchmark::kMillisecond);

void BM_QueryValue(benchmark::State& state) {
  platform::registry::resetForTesting();
  saveSettings(40);
  HKEY key = nullptr;
  RegOpenKeyExW(HKEY_CURRENT_USER, u"SOFTWARE\\Corvessa\\QuillMark For Outlook\\Templates\\1033\\IPM.Note\\Template7",
                0, KEY_READ, &key);
  char16_t buffer[260];
  for (auto _ : state) {
    DWORD size = sizeof buffer;
    DWORD type = 0;
    benchmark::DoNotOptimize(
        RegQueryValueExW(key, u"printing TEMPLATE", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size));
  }
  RegCloseKey(key);
}
BENCHMARK(BM_QueryValue);

void BM_ReadHiveFile(benchmark::State& state) {
  platform::registry::resetForTesting();
  saveSettings(40);
  for (auto _ : state) {
    platform::registry::resetForTesting();  // forgets the tree: the next open reads user.reg
    HKEY key = nullptr;
    benchmark::DoNotOptimize(RegOpenKeyExW(HKEY_CURRENT_USER, kProduct, 0, KEY_READ, &key));
    RegCloseKey(key);
  }
}
BENCHMARK(BM_ReadHiveFile)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // The benchmark's own hive files, removed afterwards.
  char folder[] = "/tmp/qmbench-XXXXXX";
  if (!mkdtemp(folder)) return 1;
  setenv("QUILLMARK_HOME", folder, 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(folder, ec);
  return 0;
}
