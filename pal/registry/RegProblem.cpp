#include "pal/registry/RegProblem.h"

#include "pal/registry/registry.h"
#include "pal/system/debugoutput.h"

namespace pal::registry {
namespace {

thread_local std::string t_sProblem;

}  // namespace

LSTATUS ReportProblem(LSTATUS status, std::string text)
{
    // A damaged hive fails every call; once per thread and text is enough.
    if (text != t_sProblem)
        pal::WriteDebugOutput("registry: " + text + " (error " + std::to_string(status) + ")\n");
    t_sProblem = std::move(text);
    return status;
}

}  // namespace pal::registry

std::string pal::RegistryProblem() { return pal::registry::t_sProblem; }
