#include "engine/files/WorkerDescriptors.h"

#include <sys/resource.h>

#include <algorithm>

#include "engine/files/FileWalker.h"

namespace RegexComponent::engine {

bool DescriptorsAbound(std::size_t inFlight) {
  // Each descriptor in flight or held by the walk, this many times over.
  constexpr rlim_t kHeadroom = 4;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  return limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= kHeadroom * (inFlight + FileWalker::kHeldDirectories);
}

WorkerWindow ChooseWorkerWindow(unsigned workers, std::size_t filesPerWorker) {
  const auto abound = [workers](std::size_t perWorker) { return DescriptorsAbound(workers * (perWorker + 1)); };
  while (filesPerWorker > kLeastFilesPerWorker && !abound(filesPerWorker))
    filesPerWorker = std::max(kLeastFilesPerWorker, filesPerWorker / 2);
  return {filesPerWorker, abound(filesPerWorker)};
}

}  // namespace RegexComponent::engine
