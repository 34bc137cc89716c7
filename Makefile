# Zelvano: every target installs what is missing first, then builds.
#   make run    build and start the desktop program (ARGS=... passes arguments)
#   make install  install the programs, the desktop entry, the metainfo, the icons and the man pages under PREFIX
#               (/usr/local)
#   make package  a Debian package, $(BUILD)/zelvano_VERSION_ARCH.deb, for `sudo apt install ./build/zelvano_*.deb`
#   make screenshots  PNGs of the window, its questions, dialogs and splash in $(BUILD)/screenshots
#   make test   lint, build, run the test suite, run it again under ASan+UBSan, then fuzz each target briefly
#   make lint   clang-format check over the sources and clang-tidy over src/
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
# The project's own builds treat warnings as errors; a plain cmake build (a packager's) does not.
WERROR_FLAGS = -DZELVANO_WERROR=ON

.PHONY: all deps configure build build-asan build-fuzz test test-asan test-fuzz lint format-check tidy \
        run demo bench fuzz format clean install package

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(WERROR_FLAGS) $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

build-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELVANO_SANITIZE=ON -DZELVANO_BENCH=OFF \
	    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" $(WERROR_FLAGS) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)

build-fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZELVANO_FUZZ=ON \
	    -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" $(WERROR_FLAGS) >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS)

test: lint build
	@ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)
	@$(MAKE) --no-print-directory test-locale
	@$(MAKE) --no-print-directory test-asan
	@$(MAKE) --no-print-directory test-fuzz

# The suites that write times, names and numbers, once more under a locale with other day and month names
# and no AM/PM marker (install-deps generates it; without it this pass is skipped).
LOCALE_TESTS ?= common_format|scan_scanreport|unpack_report|cli_scan|cli_unpack
test-locale: build
	@if locale -a 2>/dev/null | grep -qix 'de_DE\.utf-\?8'; then \
	    LC_ALL=de_DE.UTF-8 ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS) -R '^($(LOCALE_TESTS))$$'; \
	else echo "de_DE.UTF-8 locale not available: second-locale test pass skipped"; fi

test-asan: build-asan
	@ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	    ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

# Each fuzz target from its seed corpus; a crash, leak or timeout fails the run.
test-fuzz: build-fuzz
	@bash fuzz/run.sh $(FUZZ_BUILD) $(TEST_FUZZ_SECONDS)

lint: format-check tidy

format-check: deps
	@echo "== clang-format"
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

# clang-tidy (checks in .clang-tidy) over every source file under src/, with the flags of the build.
# Only a configured build is needed (for compile_commands.json): no source includes generated files.
tidy: configure
	@echo "== clang-tidy"
	@run-clang-tidy -quiet -p $(BUILD) -j $(JOBS) '^$(CURDIR)/src/.*\.cpp$$' >$(BUILD)/clang-tidy.log 2>&1; \
	    status=$$?; \
	    sed 's/\x1b\[[0-9;]*m//g' $(BUILD)/clang-tidy.log \
	        | grep -v '^clang-tidy-[0-9]* \|warnings\? generated\.$$\|^Suppressed [0-9]* warnings\|^Use -header-filter' \
	        || true; \
	    exit $$status

run: build
	@bash scripts/run.sh $(BUILD) $(ARGS)

# The programs, the desktop entry, the metainfo, the icons and the man pages under PREFIX; sudo only when PREFIX
# is not writable.
PREFIX ?= /usr/local
install: build
	@if [ -w "$(PREFIX)" ] || { [ ! -e "$(PREFIX)" ] && mkdir -p "$(PREFIX)" 2>/dev/null; }; then \
	    cmake --install $(BUILD) --prefix "$(PREFIX)"; \
	else \
	    sudo cmake --install $(BUILD) --prefix "$(PREFIX)"; \
	fi

# The same files as a Debian package under /usr, built from the build folder by CPack and left there
# (zelvano_VERSION_ARCH.deb); dpkg-shlibdeps names the library packages it depends on.
package: build
	@cd $(BUILD) && cpack

demo: build
	@bash scripts/demo.sh $(BUILD)

bench: build
	@bash bench/run.sh $(BUILD)

# Pictures of the desktop window in $(BUILD)/screenshots/, made offscreen: the main window after a scan of the
# demo tree, the Scan Results dialog folded and unfolded, the window during a paused unpack run, the two delete
# questions, the Unpack Results dialog unfolded, the three Options pages, the help window, the About box and the
# splash. The demo script makes the tree (its own unpack works on a
# copy); the pictures are of the untouched tree it keeps in source/, and the unpack runs work on copies of it.
.PHONY: screenshots
screenshots: build
	@mkdir -p $(BUILD)/demo
	@bash scripts/demo.sh $(BUILD) >$(BUILD)/demo/demo.log 2>&1 || { cat $(BUILD)/demo/demo.log; exit 1; }
	@$(BUILD)/tools/zelvano-screenshots $(BUILD)/screenshots $(BUILD)/demo/source

fuzz: build-fuzz
	@bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
