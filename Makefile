# The verbs of this project; see the README.
#   make install   install what is missing, build, install cargo-tersify and tersify-rustfmt, show them at work
#   make package   install what is missing, build, make the Debian package in the build directory
#   make test      install what is missing, build, run every test
BUILD       ?= build
ASAN_BUILD  ?= build-asan
PREFIX      ?= $(HOME)/.cargo
JOBS        ?= $(shell nproc)
FUZZ_RUNS   ?= 5000

.PHONY: all deps test-deps package-deps build install package demo test test-sanitize fuzz bench format clean

all: build

deps:
	scripts/install-deps.sh

test-deps:
	scripts/install-deps.sh --test

package-deps:
	scripts/install-deps.sh --package

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

install: build
	cmake --install $(BUILD) --prefix $(PREFIX)
	PATH="$(PREFIX)/bin:$$PATH" scripts/demo.sh

# build/cargo-tersify_VERSION_ARCH.deb, with both executables in /usr/bin.
package: package-deps build
	cmake --build $(BUILD) --target package

demo:
	scripts/demo.sh

test: test-deps build
	ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	$(MAKE) --no-print-directory fuzz FUZZ_RUNS=$(FUZZ_RUNS)

# The same tests with AddressSanitizer and UndefinedBehaviorSanitizer.
test-sanitize: test-deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTERSIFY_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

fuzz: test-deps
	bench/fuzz.sh $(FUZZ_RUNS)

bench: test-deps build
	BUILD_DIR=$(BUILD) bench/compact.sh
	bench/driver.sh $(BUILD)
	bench/e2e.sh $(BUILD)

format:
	clang-format -i $$(git ls-files 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) build-fuzz
