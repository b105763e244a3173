"""Persistent q-components of a batch of random weighted graphs, spread over a Dask cluster.

Each graph is an Erdős–Rényi G(n, p) graph whose edges carry uniform random weights,
made from its own seed, so a worker builds it from a number and only small summaries
travel back. A korvane call lets go of the interpreter lock while it computes, so the
threads of one worker run their analyses side by side; the Python around each call
(making the graph, summarising its records) still runs one thread at a time, so worker
*processes* scale further than threads.

    python examples/batch_dask.py [--graphs N] [--nodes n] [--p P] [--workers W] [--threads T]
    python examples/batch_dask.py --scheduler tcp://HOST:8786 ...   # an existing cluster

By default a LocalCluster of --workers processes, --threads threads each, runs on this
machine. With --scheduler the batch goes to a running cluster (`dask scheduler` on one
machine, `dask worker tcp://HOST:8786` on each of the others, korvane installed on all
of them).

Needs dask.distributed (pip install "korvane[batch]").
"""
from __future__ import annotations

import argparse
import math
import random
import sys
import time
from dataclasses import dataclass
from typing import Sequence

import korvane

WeightedEdges = list[tuple[int, int, float]]


@dataclass(frozen=True)
class Summary:
    """What one graph's persistence comes down to: runs and longest lifetime per level."""

    seed: int
    edges: int
    runs: tuple[int, ...]  # number of runs of q-components at q = 0, 1, ...
    longest: tuple[float, ...]  # longest lifetime (death - birth) at q = 0, 1, ...


def random_weighted_graph(seed: int, nodes: int, p: float) -> WeightedEdges:
    """G(nodes, p) with weights uniform in [0, 1), the same for the same seed everywhere."""
    rng = random.Random(seed)
    edges: WeightedEdges = []
    for u in range(nodes):
        for v in range(u + 1, nodes):
            if rng.random() < p:
                edges.append((u, v, rng.random()))
    return edges


def summarise(seed: int, nodes: int, p: float, max_q: int | None) -> Summary:
    edges = random_weighted_graph(seed, nodes, p)
    records = korvane.py_calculate_persistent_q_components(edges, max_q)
    top = max((q for (q, _), _, _ in records), default=-1)
    runs = [0] * (top + 1)
    longest = [0.0] * (top + 1)
    for (q, _), birth, death in records:
        runs[q] += 1
        longest[q] = max(longest[q], death - birth)
    return Summary(seed, len(edges), tuple(runs), tuple(longest))


def summarise_chunk(seeds: list[int], nodes: int, p: float, max_q: int | None) -> list[Summary]:
    """One task: several graphs, so the scheduler's cost per task is spread over them."""
    return [summarise(seed, nodes, p, max_q) for seed in seeds]


def mean_runs(summaries: Sequence[Summary]) -> list[float]:
    """Mean number of runs per level over the batch (a graph without a level counts 0 there)."""
    levels = max((len(s.runs) for s in summaries), default=0)
    return [sum(s.runs[q] for s in summaries if q < len(s.runs)) / len(summaries) for q in range(levels)]


def mean_longest(summaries: Sequence[Summary]) -> list[float]:
    """Mean over the batch of the longest lifetime per level (0 where a graph lacks the level)."""
    levels = max((len(s.longest) for s in summaries), default=0)
    return [sum(s.longest[q] for s in summaries if q < len(s.longest)) / len(summaries) for q in range(levels)]


def main(argv: Sequence[str] | None = None) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0] if __doc__ else None)
    parser.add_argument("--graphs", type=int, default=400, help="number of graphs in the batch (default 400)")
    parser.add_argument("--nodes", type=int, default=80, help="vertices per graph (default 80)")
    parser.add_argument("--p", type=float, default=0.25, help="edge probability (default 0.25)")
    parser.add_argument("--max-q", type=int, default=None, help="clique size bound (default: none)")
    parser.add_argument("--seed", type=int, default=0, help="seed of the first graph (default 0)")
    parser.add_argument("--workers", type=int, default=2, help="local worker processes (default 2)")
    parser.add_argument("--threads", type=int, default=1, help="threads per local worker process (default 1)")
    parser.add_argument("--scheduler", default=None, metavar="ADDRESS",
                        help="address of a running scheduler, e.g. tcp://host:8786 (default: a local cluster)")
    parser.add_argument("--chunk", type=int, default=None,
                        help="graphs per task (default: about four tasks per worker)")
    args = parser.parse_args(argv)

    try:
        from distributed import Client, LocalCluster
    except ImportError:
        sys.exit('dask.distributed is not installed: pip install "korvane[batch]"')

    if args.scheduler is not None:
        cluster = None
        client = Client(args.scheduler)
        where = f"the cluster at {args.scheduler}"
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=args.threads, processes=True,
                               dashboard_address=None)
        client = Client(cluster)
        where = "a local cluster"
    try:
        client.wait_for_workers(1)
        workers = len(client.scheduler_info()["workers"])
        threads = sum(w["nthreads"] for w in client.scheduler_info()["workers"].values())
        # Load korvane in every worker before the clock starts.
        client.run(lambda: korvane.__name__)

        seeds = list(range(args.seed, args.seed + args.graphs))
        chunk = args.chunk or max(1, math.ceil(len(seeds) / (4 * threads)))
        chunks = [seeds[i:i + chunk] for i in range(0, len(seeds), chunk)]
        print(f"{len(seeds)} graphs G({args.nodes}, {args.p}) with random weights, on {where} of "
              f"{workers} worker process(es) with {threads} thread(s) in all, {len(chunks)} tasks of up to "
              f"{chunk} graphs")

        start = time.perf_counter()
        futures = client.map(summarise_chunk, chunks, nodes=args.nodes, p=args.p, max_q=args.max_q, pure=False)
        summaries = [s for part in client.gather(futures) for s in part]
        elapsed = time.perf_counter() - start
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    summaries.sort(key=lambda s: s.seed)
    edges = sum(s.edges for s in summaries) / len(summaries)
    print(f"mean edges per graph: {edges:.1f}")
    print("mean runs of q-components per level:", [round(m, 2) for m in mean_runs(summaries)])
    print("mean longest lifetime per level:", [round(m, 3) for m in mean_longest(summaries)])
    print(f"{len(summaries)} graphs in {elapsed:.2f} s: {len(summaries) / elapsed:.1f} graphs per second "
          f"with {workers} worker(s), {threads} thread(s)")


if __name__ == "__main__":
    main()
