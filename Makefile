# The verbs of this project; see the README.
#   make install   install what is missing, build, install cargo-tersify and tersify-rustfmt, show them at work
#   make package   install what is missing, build, make the Debian package in the build directory
#   make test      install what is missing, build, run every test
BUILD       ?= build
ASAN_BUILD  ?= build-asan
TSAN_BUILD  ?= build-tsan
PREFIX      ?= $(HOME)/.cargo
JOBS        ?= $(shell nproc)
FUZZ_RUNS   ?= 5000

# Installing and packaging build the executables alone; the test verbs add
# the tests and benchmarks, which need GoogleTest and more.
BUILD_FLAGS ?= -DTERSIFY_TESTS=OFF -DTERSIFY_BENCH=OFF
TEST_FLAGS  := -DTERSIFY_TESTS=ON -DTERSIFY_BENCH=ON

.PHONY: all deps test-deps package-deps build install package demo test test-sanitize test-tsan fuzz bench format clean

all: build

deps:
	scripts/install-deps.sh

test-deps:
	scripts/install-deps.sh --test

package-deps:
	scripts/install-deps.sh --package

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release $(BUILD_FLAGS)
	cmake --build $(BUILD) -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	PATH="$(PREFIX)/bin:$$PATH" scripts/demo.sh

# build/cargo-tersify_VERSION_ARCH.deb, with both executables in /usr/bin.
package: package-deps build
	cmake --build $(BUILD) --target package

demo:
	scripts/demo.sh

# Most tests wait on the children they run (cargo, rustfmt, the tool), so
# twice as many run as there are cores.
test: test-deps
	$(MAKE) --no-print-directory build BUILD_FLAGS="$(TEST_FLAGS)"
	ctest --test-dir $(BUILD) --output-on-failure -j $$(( $(JOBS) * 2 ))

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer, the
# failure-in-the-middle runs repeated to hunt races, then a short fuzzing run
# of the compaction pass (also built with both sanitizers).
test-sanitize: test-deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERSIFY_SANITIZE=ON $(TEST_FLAGS)
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	CARGO_TERSIFY_TEST_REPEATS=3 ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz FUZZ_RUNS=$(FUZZ_RUNS)

# The tests that run threads or several children at once, with ThreadSanitizer
# (in the tool as much as in the tests); a race report fails them.
TSAN_TESTS ?= Equivalence|Scheduler|FileOrder|RunChild|ForkServer|SharedFolder|Cache
test-tsan: test-deps
	cmake -S . -B $(TSAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERSIFY_TSAN=ON -DTERSIFY_BENCH=OFF
	cmake --build $(TSAN_BUILD) -j $(JOBS)
	TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" CARGO_TERSIFY_TEST_REPEATS=1 ctest --test-dir $(TSAN_BUILD) --output-on-failure -j $(JOBS) -R '$(TSAN_TESTS)'

fuzz: test-deps
	bench/fuzz.sh $(FUZZ_RUNS)

bench: test-deps
	$(MAKE) --no-print-directory build BUILD_FLAGS="$(TEST_FLAGS)"
	BUILD_DIR=$(BUILD) bench/compact.sh
	bench/driver.sh $(BUILD)
	bench/e2e.sh $(BUILD)

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) build-fuzz
