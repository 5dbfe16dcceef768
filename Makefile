# Entry points for people and CI. Every public target installs what is missing first, so each
# works on its own on a fresh Debian 12 machine (as root, or with sudo).
#
#   make run     build the release preset and run tandemoctl
#   make test    release tests, sanitizer tests, and a short fuzzing run
#   make bench   build and run the benchmarks
#   make clean   remove build/

SHELL := /bin/bash
.SHELLFLAGS := -euo pipefail -c
.DEFAULT_GOAL := run
# Stages run one after another; ninja already uses every core within a stage.
.NOTPARALLEL:

JOBS ?= 2
BUILD := build

# Presets whose test suites `make test` runs after the release one, each built with its
# sanitizers (see CMakePresets.json). ThreadSanitizer comes in as `tsan`.
SANITIZER_PRESETS ?= asan tsan
CHECK_TARGETS := $(addprefix check-,release $(SANITIZER_PRESETS))

# Sanitizer reports stop the test that triggers them, with a stack trace.
export ASAN_OPTIONS ?= detect_leaks=1:check_initialization_order=1:strict_string_checks=1
export UBSAN_OPTIONS ?= print_stacktrace=1:halt_on_error=1
export TSAN_OPTIONS ?= halt_on_error=1:second_deadlock_stack=1

# The fuzzing runs of `make test`: each target in FUZZ_TARGETS for FUZZ_SECONDS, starting from
# its seed corpus fuzz/corpus/NAME (when there is one). New inputs go to a working corpus under
# build/, never into fuzz/corpus/.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS ?= state_decoder bridge
FUZZ_WORK := $(BUILD)/fuzz/run

# What `make run` does for now: show the settings in the default location.
RUN_ARGS ?= show
# Every bench_* program of the bench preset runs, in name order.
BENCH_ARGS ?=

.PHONY: all run test bench clean deps fuzz $(CHECK_TARGETS) check-fuzz build-release

all: run

deps:
	bash scripts/install-deps.sh

# ---- run ----

run: deps
	$(MAKE) --no-print-directory build-release
	$(BUILD)/release/apps/tandemoctl/tandemoctl $(RUN_ARGS)

build-release:
	cmake --preset release
	cmake --build --preset release -j$(JOBS) --target tandemoctl

# ---- test ----

test: deps
	@start=$$(date +%s); \
	$(MAKE) --no-print-directory $(CHECK_TARGETS) check-fuzz; \
	echo "make test: all stages passed in $$(( $$(date +%s) - start )) s"

# check-PRESET: configure, build and run one preset's test suites.
$(CHECK_TARGETS): check-%:
	@echo "==== $* tests ===="
	cmake --preset $*
	cmake --build --preset $* -j$(JOBS)
	ctest --preset $* --no-tests=error -j$(JOBS)

fuzz: deps
	$(MAKE) --no-print-directory check-fuzz

check-fuzz:
	@echo "==== fuzz: $(FUZZ_TARGETS), $(FUZZ_SECONDS) s each ===="
	cmake --preset fuzz
	cmake --build --preset fuzz -j$(JOBS)
	@for name in $(FUZZ_TARGETS); do \
	  work=$(FUZZ_WORK)/$$name; seeds=fuzz/corpus/$$name; \
	  mkdir -p $$work/corpus $$work/artifacts; \
	  [[ -d $$seeds ]] || seeds=; \
	  echo "---- fuzz_$$name ----"; \
	  if $(BUILD)/fuzz/fuzz/fuzz_$$name -max_total_time=$(FUZZ_SECONDS) -timeout=10 -print_final_stats=1 \
	        -artifact_prefix=$$work/artifacts/ $$work/corpus $$seeds > $$work/fuzz.log 2>&1; then \
	    grep -E '^(Done|stat::number_of_executed_units|stat::new_units_added)' $$work/fuzz.log || true; \
	    echo "fuzz_$$name: no failure (log: $$work/fuzz.log)"; \
	  else \
	    tail -n 80 $$work/fuzz.log; \
	    echo "fuzz_$$name: FAILED (log: $$work/fuzz.log, inputs: $$work/artifacts/)"; \
	    exit 1; \
	  fi; \
	done

# ---- bench ----

bench: deps
	cmake --preset bench
	cmake --build --preset bench -j$(JOBS)
	@found=0; \
	for b in $(BUILD)/bench/bench/bench_*; do \
	  [[ -f "$$b" && -x "$$b" ]] || continue; \
	  found=1; \
	  echo "==== $$(basename "$$b") ===="; \
	  "$$b" $(BENCH_ARGS); \
	done; \
	(( found )) || { echo "bench: no benchmark programs built" >&2; exit 1; }

# ---- clean ----

clean:
	rm -rf $(BUILD)
