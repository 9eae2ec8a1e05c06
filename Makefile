# Wendrok: `make demo` builds the program and the DAS stand-in (nothing else) and starts the
# program against the stand-in; `make test` builds with the sanitizers and runs every test.
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: deps build demo run test tsan bench format clean

deps:
	@sh tools/install-deps

RELEASE_CONFIG = cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWENDROK_TESTS=ON $(CMAKE_FLAGS)

build: deps
	$(RELEASE_CONFIG)
	cmake --build build/release -j$(JOBS)

run: deps
	$(RELEASE_CONFIG)
	cmake --build build/release -j$(JOBS) --target wendrok
	./build/release/bin/wendrok

# The display is checked first, so that a machine without one is told what to do before
# anything is installed or built.
demo:
	@sh tools/demo.sh --check-display
	@sh tools/install-deps
	$(RELEASE_CONFIG)
	cmake --build build/release -j$(JOBS) --target wendrok wendrok-das-standin
	sh tools/demo.sh build/release

test: deps
	cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Debug -DWENDROK_SANITIZE=ON -DWENDROK_WERROR=ON $(CMAKE_FLAGS)
	cmake --build build/test -j$(JOBS)
	cd build/test && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j$(JOBS)

tsan: deps
	cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DWENDROK_TSAN=ON $(CMAKE_FLAGS)
	cmake --build build/tsan -j$(JOBS)
	cd build/tsan && QT_QPA_PLATFORM=offscreen TSAN_OPTIONS="halt_on_error=1 suppressions=$(CURDIR)/tools/tsan.supp" ctest --output-on-failure -j$(JOBS) -R '^link_'

bench: deps
	cmake -S . -B build/bench -DCMAKE_BUILD_TYPE=Release -DWENDROK_BENCH=ON $(CMAKE_FLAGS)
	cmake --build build/bench -j$(JOBS)
	@for b in build/bench/bench/bench_*; do [ -f "$$b" ] && [ -x "$$b" ] && echo "== $$b" && "$$b"; done; true

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf build
