# Zelvano: every target installs what is missing first, then builds.
#   make run    build and start the program
#   make test   build, run the test suite, run it again under ASan+UBSan, then fuzz each target briefly
#   make demo   build a sample tree of photo archives and unpack it with zelvano-cli
#   make bench  run the benchmarks in bench/
#   make fuzz   run every libFuzzer target for FUZZ_SECONDS each

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
FUZZ_SECONDS ?= 60
# What `make test` gives each fuzz target: enough to catch a regression near the seeds.
TEST_FUZZ_SECONDS ?= 30
CMAKE_FLAGS ?=

.PHONY: all deps configure build build-asan build-fuzz test test-asan test-fuzz run demo bench fuzz format clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELVANO_SANITIZE=ON -DZELVANO_BENCH=OFF \
	    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

build-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELVANO_FUZZ=ON \
	    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

test: build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-fuzz

test-asan: build-asan
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Each fuzz target from its seed corpus; a crash, leak or timeout fails the run.
test-fuzz: build-fuzz
	@bash fuzz/run.sh $(FUZZ_BUILD) $(TEST_FUZZ_SECONDS)

run: build
	@bash scripts/run.sh $(BUILD)

demo: build
	@bash scripts/demo.sh $(BUILD)

bench: build
	@bash bench/run.sh $(BUILD)

fuzz: build-fuzz
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
