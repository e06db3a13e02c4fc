# The two commands of a fresh machine:
#   make run    installs what is missing, builds, runs the game
#   make test   installs what is missing, builds and runs every test
#               (an optimised build, a debug build under ASan and UBSan, then
#               a build under ThreadSanitizer)
#   make fuzz TARGET=name
#               builds one loader's fuzz target with AFL++ and fuzzes it

JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan
TSAN := build/tsan
# The program `make run` starts: the game, in the data folder the build makes,
# which the game and its settings program take as their working folder.
RUN_PROGRAM ?= $(RELEASE)/vantrel
GAME_FOLDER := $(RELEASE)/game_data

# Builds go through ccache where it is installed (tools/install-deps.sh adds it).
# The check runs when a build folder is first configured, after deps, so a
# fresh machine's first build is cached too. Paths are hashed relative to the
# checkout, so another work tree or a fresh clone elsewhere (CI) reuses the
# objects this one compiled.
LAUNCHER = $(if $(shell command -v ccache),-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1

export ASAN_OPTIONS := halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS := halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
export TSAN_OPTIONS := halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp

.PHONY: all deps build build-asan build-tsan run run-settings test test-release test-asan test-tsan test-tsan-all bench fuzz \
        clean format

all: build

deps:
	@bash tools/install-deps.sh

$(RELEASE)/build.ninja: | deps
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(LAUNCHER)

$(ASAN)/build.ninja: | deps
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON -DTESSEL_BENCH=OFF $(LAUNCHER)

$(TSAN)/build.ninja: | deps
	cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE_THREAD=ON -DTESSEL_BENCH=OFF $(LAUNCHER)

build: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS)

build-asan: deps $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

build-tsan: deps $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS)

# Running builds only what runs: the program and the data folder it reads.
RUN_TARGETS ?= $(notdir $(RUN_PROGRAM)) game_data

run: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS) --target $(RUN_TARGETS)
	cd $(GAME_FOLDER) && $(abspath $(RUN_PROGRAM))

# The settings program edits config.dat in its working folder: the game's, where the game reads it.
run-settings: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS) --target vantrelcfg game_data
	cd $(GAME_FOLDER) && $(abspath $(RELEASE)/vantrelcfg)

# The release run preloads a thread counter into every test: its log tells
# the ThreadSanitizer run which tests start no thread (README, Tests).
THREAD_LOG := $(CURDIR)/$(RELEASE)/thread_starts.log

test-release: build
	rm -f $(THREAD_LOG)
	cd $(RELEASE) && TESSEL_THREAD_LOG=$(THREAD_LOG) \
	  LD_PRELOAD=$(CURDIR)/$(RELEASE)/tests/libthread_mark.so \
	  ctest --output-on-failure -j $(JOBS) --timeout 300

test-asan: build-asan
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) --timeout 600

# Leaves out the tests the release run just saw start no thread: the race
# detector has nothing to watch in them. test-tsan-all runs every test.
test-tsan: test-release build-tsan
	bash tools/tests/thread_free_tests.sh $(RELEASE) $(THREAD_LOG) > $(TSAN)/thread_free_tests.cmake
	cd $(TSAN) && ctest --output-on-failure -j $(JOBS) --timeout 600 -LE thread-free

test-tsan-all: build-tsan
	cd $(TSAN) && ctest --output-on-failure -j $(JOBS) --timeout 600

test: test-release test-asan test-tsan

bench: build
	@for b in $(RELEASE)/bench_*; do echo "== $$b"; $$b; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

# Fuzzing (not part of `make test`). AFL++'s GCC plugin refuses this GCC.
# FUZZ_ENGINE=persistent (the default) instruments with GCC's own coverage
# hook feeding AFL++'s runtime: many inputs per process, in shared memory.
# FUZZ_ENGINE=fork builds with AFL++'s compiler wrapper in its GCC mode
# (assembly instrumentation): one process per input, several times slower.
# FUZZ_SANITIZE=1 adds ASan and UBSan (slower, catches what does not crash).
# FUZZ_ARGS passes options to afl-fuzz (-V seconds, -E executions);
# findings land in build/fuzz-<engine>[-asan]/findings/<target>.
FUZZ_ENGINE ?= persistent
FUZZ_SANITIZE ?=
FUZZ_BUILD := build/fuzz-$(FUZZ_ENGINE)$(if $(FUZZ_SANITIZE),-asan)
ifeq ($(FUZZ_ENGINE),fork)
FUZZ_COMPILERS := -DCMAKE_C_COMPILER=afl-gcc -DCMAKE_CXX_COMPILER=afl-g++
endif
FUZZ_ARGS ?=
FUZZ_TARGETS := $(sort $(basename $(notdir $(wildcard tests/fuzz/targets/*.cpp))))

$(FUZZ_BUILD)/build.ninja:
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSEL_BENCH=OFF \
	  -DTESSEL_FUZZ=ON -DTESSEL_FUZZ_ENGINE=$(FUZZ_ENGINE) $(FUZZ_COMPILERS) \
	  -DTESSEL_SANITIZE=$(if $(FUZZ_SANITIZE),ON,OFF)

fuzz:
	@if [ -z "$(filter $(TARGET),$(FUZZ_TARGETS))" ]; then \
	  echo "usage: make fuzz TARGET=name, one of: $(FUZZ_TARGETS)"; exit 2; fi
	@$(MAKE) --no-print-directory deps $(FUZZ_BUILD)/build.ninja
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_$(TARGET)
	@mkdir -p $(FUZZ_BUILD)/findings
	AFL_SKIP_CPUFREQ=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_AUTORESUME=1 \
	  ASAN_OPTIONS=abort_on_error=1:symbolize=0:detect_leaks=0 \
	  UBSAN_OPTIONS=halt_on_error=1:abort_on_error=1:symbolize=0 LSAN_OPTIONS=symbolize=0 \
	  afl-fuzz -i tests/fuzz/corpus/$(TARGET) -o $(FUZZ_BUILD)/findings/$(TARGET) -t 1000 \
	  $(FUZZ_ARGS) -- $(FUZZ_BUILD)/fuzz_$(TARGET)

clean:
	rm -rf build
