# Entry points for people and CI. Every public target installs what is missing first, so each
# works on its own on a fresh Debian 12 machine (as root, or with sudo).
#
#   make run     build the release preset and start the app on the virtual mouse
#   make test    release tests, the kernel-level guest test, sanitizer tests, a short fuzzing run
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
FUZZ_TARGETS ?= state_decoder bridge report_descriptor
FUZZ_WORK := $(BUILD)/fuzz/run

# What `make run` starts: the app against the built-in virtual Rival 500.
RUN_ARGS ?= --simulate
APP := $(BUILD)/release/apps/tandemo/tandemo
# Every bench_* program of the bench preset runs, in name order.
BENCH_ARGS ?=

# The kernel-level test: the guest image (cached under build/guest) and the host's limit on one
# boot of it under software emulation.
GUEST_PROGRAMS := $(BUILD)/release/tests/guest/guest_tests $(BUILD)/release/apps/tandemoctl/tandemoctl
GUEST_TIMEOUT ?= 120
# Runs only the guest scenarios whose names contain this word, e.g. GUEST_ONLY=backend.
GUEST_ONLY ?=

.PHONY: all run test bench clean deps fuzz $(CHECK_TARGETS) check-fuzz check-guest build-release

all: run

deps:
	bash scripts/install-deps.sh

# ---- run ----

run: deps
	$(MAKE) --no-print-directory build-release
	@if [[ -n "$${DISPLAY:-}$${WAYLAND_DISPLAY:-}" ]]; then \
	  echo "Starting $(APP) $(RUN_ARGS) (quit it from its tray icon, or close the window when there is no tray)"; \
	  $(APP) $(RUN_ARGS); \
	else \
	  echo "No display here (neither DISPLAY nor WAYLAND_DISPLAY is set), so the app cannot open its window."; \
	  echo "To see it:"; \
	  echo "  - look at the screenshots in docs/screenshots/ (the README shows them);"; \
	  echo "  - render your own: $(APP) --screenshot /tmp/tandemo-shots"; \
	  echo "  - or run it on a virtual X server: xvfb-run -a $(APP) $(RUN_ARGS)"; \
	  echo "The command line works without a display: $(BUILD)/release/apps/tandemoctl/tandemoctl show"; \
	fi

build-release:
	cmake --preset release
	cmake --build --preset release -j$(JOBS) --target tandemo tandemoctl

# ---- test ----

test: deps
	@start=$$(date +%s); \
	$(MAKE) --no-print-directory check-release check-guest $(filter-out check-release,$(CHECK_TARGETS)) check-fuzz; \
	echo "make test: all stages passed in $$(( $$(date +%s) - start )) s"

# check-PRESET: configure, build and run one preset's test suites.
$(CHECK_TARGETS): check-%:
	@echo "==== $* tests ===="
	cmake --preset $*
	cmake --build --preset $* -j$(JOBS)
	ctest --preset $* --no-tests=error -j$(JOBS)

# check-guest: boots Debian's kernel in QEMU with a virtual Rival 500 on uhid and runs the guest
# test program there (after check-release, which builds it).
check-guest:
	@echo "==== guest tests (QEMU, uhid) ===="
	cmake --preset release
	cmake --build --preset release -j$(JOBS) --target guest_tests tandemoctl
	bash scripts/guest/build-image.sh $(GUEST_PROGRAMS)
	bash scripts/guest/run-guest.sh --timeout $(GUEST_TIMEOUT) $(if $(GUEST_ONLY),--only $(GUEST_ONLY))

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
	bash bench/app_startup.sh $(BUILD)/bench

# ---- clean ----

clean:
	rm -rf $(BUILD)
