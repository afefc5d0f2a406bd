"""How much of a CLI script's cases a run takes, read from the environment
and the command line, the same way for every script:

- RC_SOAK=1: a soak run, every combination at full volume;
- RC_SANITIZED=1 (set by the build under a sanitizer): a covering subset,
  where starting the tool alone costs a tenth of a second; a soak run
  overrides it;
- trailing arguments K SHARDS: this run takes case K, K+SHARDS, and so on,
  so that each of SHARDS runs stays well within a test's time limit.
"""
import os


def _flag(name):
    return os.environ.get(name, "0") not in ("", "0")


SOAK = _flag("RC_SOAK")
COVERING = _flag("RC_SANITIZED") and not SOAK


def crossed(i, j, every):
    """Whether the pair (i, j) of two crossed lists runs: all of them, or,
    in the covering subset, one in `every` along each diagonal."""
    return not COVERING or (i + j) % every == 0


def sampled(i, j, every, coveringEvery):
    """Whether the pair (i, j) of two crossed lists runs where crossing them
    whole would cost more than it finds: one in `every` along each diagonal,
    one in `coveringEvery` in the covering subset, all of them in a soak
    run."""
    return SOAK or (i + j) % (coveringEvery if COVERING else every) == 0


def shard(argv, first):
    """(K, SHARDS) from argv[first:first + 2], or (0, 1) when absent."""
    return (int(argv[first]), int(argv[first + 1])) if len(argv) > first + 1 else (0, 1)
