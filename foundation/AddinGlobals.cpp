#include "foundation/AddinGlobals.h"

#include "platform/resources/Resources.h"

extern const platform::resources::ModuleResources kQuillMarkResources;

namespace NGlobals {
namespace {

constexpr LCID kDefaultLocale = 1033;

int g_officeMajorVersion = 0;
LCID g_threadLocale = kDefaultLocale;
HINSTANCE g_module = nullptr;

}  // namespace

int officeMajorVersion() { return g_officeMajorVersion; }
void setOfficeMajorVersion(int version) { g_officeMajorVersion = version; }

LCID threadLocale() { return g_threadLocale; }
void setThreadLocale(LCID lcid) { g_threadLocale = lcid; }

HINSTANCE moduleInstance() { return g_module ? g_module : platform::resources::handleOf(kQuillMarkResources); }
void setModuleInstance(HINSTANCE module) { g_module = module; }

void resetForTesting() {
  g_officeMajorVersion = 0;
  g_threadLocale = kDefaultLocale;
  g_module = nullptr;
}

}  // namespace NGlobals
