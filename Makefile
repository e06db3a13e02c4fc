# The two commands of a fresh machine:
#   make run    installs what is missing, builds, runs the game
#   make test   installs what is missing, builds and runs every test
#               (an optimised build, a debug build under ASan and UBSan, then
#               a build under ThreadSanitizer)

JOBS ?= $(shell nproc)
RELEASE := build/release
ASAN := build/asan
TSAN := build/tsan
# The program `make run` starts: the game once it exists, until then the newest example.
RUN_PROGRAM ?= $(firstword $(wildcard $(RELEASE)/vantrel) $(RELEASE)/hello_window)

export ASAN_OPTIONS := halt_on_error=1:abort_on_error=1:detect_leaks=1:strict_string_checks=1
export UBSAN_OPTIONS := halt_on_error=1:print_stacktrace=1
export LSAN_OPTIONS := suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0
export TSAN_OPTIONS := halt_on_error=1:second_deadlock_stack=1:suppressions=$(CURDIR)/tests/tsan.supp

.PHONY: all deps build build-asan build-tsan run run-settings test test-release test-asan test-tsan bench clean format

all: build

deps:
	@bash tools/install-deps.sh

$(RELEASE)/build.ninja:
	cmake -S . -B $(RELEASE) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN)/build.ninja:
	cmake -S . -B $(ASAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE=ON -DTESSEL_BENCH=OFF

$(TSAN)/build.ninja:
	cmake -S . -B $(TSAN) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTESSEL_SANITIZE_THREAD=ON -DTESSEL_BENCH=OFF

build: deps $(RELEASE)/build.ninja
	cmake --build $(RELEASE) -j $(JOBS)

build-asan: deps $(ASAN)/build.ninja
	cmake --build $(ASAN) -j $(JOBS)

build-tsan: deps $(TSAN)/build.ninja
	cmake --build $(TSAN) -j $(JOBS)

run: build
	$(RUN_PROGRAM)

# The settings program edits config.dat in the current folder, where the game reads it.
run-settings: build
	$(RELEASE)/vantrelcfg

test-release: build
	cd $(RELEASE) && ctest --output-on-failure -j $(JOBS) --timeout 300

test-asan: build-asan
	cd $(ASAN) && ctest --output-on-failure -j $(JOBS) --timeout 600

test-tsan: build-tsan
	cd $(TSAN) && ctest --output-on-failure -j $(JOBS) --timeout 600

test: test-release test-asan test-tsan

bench: build
	@for b in $(RELEASE)/bench_*; do echo "== $$b"; $$b; done

format:
	git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf build
