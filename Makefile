# Orvanel: the two commands a newcomer needs are `make run` and `make test`.
BUILD_DIR ?= build
# Optimised, with line tables only (-g1): stacks and crash reports keep function names and file:line,
# and the build is about a fifth faster than with full debug information.
CMAKE_FLAGS ?= -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
JOBS ?= $(shell nproc)
# ccache (installed by `make deps`) lets the sanitizer builds, and builds in other work trees of the
# same sources, reuse what was compiled before.
export CCACHE_BASEDIR := $(CURDIR)
export CCACHE_NOHASHDIR := 1
LAUNCHER := $(if $(shell command -v ccache 2>/dev/null),-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)

# Debian packages the build, the tests and the program need.
DEPS := cmake ninja-build g++ pkg-config ccache \
        qt6-base-dev qt6-multimedia-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools \
        libfmt-dev libcurl4-openssl-dev libjpeg-dev libboost-stacktrace-dev \
        libgtest-dev libgmock-dev libbenchmark-dev \
        espeak-ng sox python3-pyftpdlib dbus python3-dbus xvfb qt6-translations-l10n \
        libmosquitto-dev mosquitto mosquitto-clients \
        libsystemd-dev systemd help2man librsvg2-bin desktop-file-utils appstream dpkg-dev file lintian \
        clang libclang-rt-14-dev libfuzzer-14-dev \
        chromium chromium-driver python3-selenium python3-pil

.PHONY: all deps build translations test test-asan test-tsan fuzz soak bench run screenshots install package clean format

all: build

deps:
	@missing=$$(for p in $(DEPS); do dpkg-query -W -f='$${Status}\n' $$p 2>/dev/null | grep -q '^install ok installed' || echo $$p; done); \
	if [ -z "$$missing" ]; then echo "deps: all packages present"; exit 0; fi; \
	echo "deps: installing $$missing"; \
	if [ "$$(id -u)" = 0 ]; then SUDO=""; \
	elif command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then SUDO="sudo"; \
	else echo "deps: missing packages; run as root:"; \
	     echo "  apt-get update && apt-get install -y $$missing"; exit 1; fi; \
	$$SUDO apt-get update -qq && DEBIAN_FRONTEND=noninteractive $$SUDO apt-get install -y -qq $$missing

$(BUILD_DIR)/build.ninja:
	cmake -S . -B $(BUILD_DIR) -G Ninja $(CMAKE_FLAGS) $(LAUNCHER)

build: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS)

# Gathers the texts of src/ into resources/translations/orvanel_en.ts; translate the new ones there
# (they come in unfinished) and commit the .ts with the change that brought them.
translations: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) --target translations

# `make install` puts the programs in $(PREFIX)/bin and their files in $(PREFIX)/share/orvanel (also
# the menu entry, icon, manual pages and systemd units); DESTDIR=<folder> stages it there instead.
PREFIX ?= /usr/local
install: deps $(BUILD_DIR)/build.ninja
	cmake -S . -B $(BUILD_DIR) -DCMAKE_INSTALL_PREFIX=$(PREFIX) >/dev/null
	cmake --build $(BUILD_DIR) -j $(JOBS)
	DESTDIR=$(DESTDIR) cmake --install $(BUILD_DIR)

# The Debian package, $(BUILD_DIR)/orvanel_<version>_<arch>.deb, installed under /usr. Built in a
# folder of its own: only the programs, with Debian's hardening flags (fortified functions, stack
# protector, read-only relocations bound at start) and without the tests' alignment trap (and its
# run-time library).
PKG_FLAGS = DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get
package: deps
	cmake -S . -B build-package -G Ninja $(CMAKE_FLAGS) $(LAUNCHER) -DCMAKE_INSTALL_PREFIX=/usr \
	      "-DCMAKE_CXX_FLAGS=$$($(PKG_FLAGS) CPPFLAGS) $$($(PKG_FLAGS) CXXFLAGS)" \
	      "-DCMAKE_EXE_LINKER_FLAGS=$$($(PKG_FLAGS) LDFLAGS)" \
	      -DORVANEL_TESTS=OFF -DORVANEL_BENCH=OFF -DORVANEL_CHECK_ALIGNMENT=OFF \
	      -DORVANEL_PACKAGE_OUTPUT=$(abspath $(BUILD_DIR))
	cmake --build build-package -j $(JOBS)
	cd build-package && cpack -G DEB

test: build
	cd $(BUILD_DIR) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 300

# The tests under AddressSanitizer with UndefinedBehaviorSanitizer, and under ThreadSanitizer, each
# built in its own folder. Any report stops the test that made it, so the run fails. Suppressions
# (tests/sanitizers/) cover only reports from inside the libraries the program uses. The same
# options apply while building: test discovery runs the test binaries. Under ThreadSanitizer a child started by
# a test (an HTTP or FTP client, a server) is forked from a threaded process and goes straight to exec:
# die_after_fork=0 lets it.
SANITIZERS := $(CURDIR)/tests/sanitizers
ASAN_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1:strict_string_checks=1 \
            LSAN_OPTIONS=suppressions=$(SANITIZERS)/lsan.supp:print_suppressions=0 \
            UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
TSAN_ENV := TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$(SANITIZERS)/tsan.supp \
            UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
# -O1 with line tables only (-g1): reports keep their function names and file:line, and the two
# builds take about a third less time than -O2 -g, which keeps CI within its budget.
SAN_FLAGS = $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVANEL_BENCH=OFF "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"

test-asan: deps
	cmake -S . -B build-asan -G Ninja $(SAN_FLAGS) -DORVANEL_SANITIZER=address
	$(ASAN_ENV) cmake --build build-asan -j $(JOBS)
	cd build-asan && $(ASAN_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 900

test-tsan: deps
	cmake -S . -B build-tsan -G Ninja $(SAN_FLAGS) -DORVANEL_SANITIZER=thread
	$(TSAN_ENV) cmake --build build-tsan -j $(JOBS)
	cd build-tsan && $(TSAN_ENV) QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS) --timeout 900

# Each fuzz target (tests/fuzz) explored by libFuzzer for FUZZ_SECONDS, built by clang with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-fuzz. The corpus grows in
# build-fuzz/corpus/<target> (seeded from tests/fuzz/corpus); a crash, a sanitizer report or a broken
# check stops the run and leaves its input in build-fuzz/crashes/<target>. Copy that input into
# tests/fuzz/regressions/<target> with the fix: `make test` replays it from then on.
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := fuzz_station_answers fuzz_month_file fuzz_settings_file fuzz_formula fuzz_condition_files
FUZZ_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:halt_on_error=1 \
            LSAN_OPTIONS=suppressions=$(SANITIZERS)/lsan.supp:print_suppressions=0 \
            UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja $(LAUNCHER) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DORVANEL_SANITIZER=fuzzer -DORVANEL_TESTS=OFF -DORVANEL_BENCH=OFF
	cmake --build build-fuzz -j $(JOBS) --target fuzz_targets
	@failed=""; for t in $(FUZZ_TARGETS); do \
	  mkdir -p build-fuzz/corpus/$$t build-fuzz/crashes/$$t; \
	  dict=""; [ -f tests/fuzz/$$t.dict ] && dict="-dict=tests/fuzz/$$t.dict"; \
	  echo "fuzz: $$t for $(FUZZ_SECONDS) s"; \
	  if $(FUZZ_ENV) build-fuzz/$$t -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
	       $$dict -artifact_prefix=build-fuzz/crashes/$$t/ build-fuzz/corpus/$$t tests/fuzz/corpus/$$t \
	       tests/fuzz/regressions/$$t > build-fuzz/$$t.log 2>&1; \
	  then grep -E "^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)|cov: .*DONE" build-fuzz/$$t.log | sed "s/^/  /"; \
	  else failed="$$failed $$t"; tail -n 60 build-fuzz/$$t.log; ls -l build-fuzz/crashes/$$t; fi; \
	done; \
	if [ -n "$$failed" ]; then echo "fuzz: FAILED:$$failed (inputs in build-fuzz/crashes/)"; exit 1; fi; \
	echo "fuzz: no fault found"

# The headless monitor for SOAK_MINUTES against the simulated station under line faults, restarted
# by SIGHUP and SIGTERM, its HTTP server polled; then every station record is looked up in the
# history, and memory, descriptors, threads and the log are checked (tests/soak/soak.py).
SOAK_MINUTES ?= 60
soak: build
	python3 tests/soak/soak.py $(BUILD_DIR) $(SOAK_MINUTES)

# Then the dashboard's first plots in headless Chromium over a million-record history.
bench: build
	$(BUILD_DIR)/orvanel-bench
	/usr/bin/python3 tests/web/million_first_plot.py $(BUILD_DIR)

# The simulated station on a pseudo-terminal (link $(BUILD_DIR)/halvex.tty) and the program connected
# to it, headless. The station's day lasts 20 minutes and a script brings a shower, wind and
# cloud within the first ten, so states change while you watch. Ctrl-C closes the program first
# (history saved, station clock set), then the station.
SIM_ARGS ?= --day-length 20 \
            --scenario "rain@2-3,wind=30@4-6,sky=-3@6-9,rh=95@8-10"
run: build
	@rm -f $(BUILD_DIR)/halvex.tty
	@trap 'true' INT TERM; \
	setsid $(BUILD_DIR)/halvex-sim --link $(BUILD_DIR)/halvex.tty $(SIM_ARGS) & sim=$$!; \
	for i in 1 2 3 4 5 6 7 8 9 10; do [ -e $(BUILD_DIR)/halvex.tty ] && break; sleep 0.2; done; \
	$(BUILD_DIR)/orvanel --port $(BUILD_DIR)/halvex.tty; code=$$?; \
	kill -INT $$sim 2>/dev/null; wait $$sim; exit $$code

# Pictures of the main window made on Qt's offscreen platform, the monitor polling the simulated
# station under a weather script; then the web dashboard in headless Chromium (day, dark and night,
# phone and desktop width).
screenshots: deps $(BUILD_DIR)/build.ninja
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orvanel-screenshots
	QT_QPA_PLATFORM=offscreen $(BUILD_DIR)/orvanel-screenshots $(BUILD_DIR)/screenshots
	cmake --build $(BUILD_DIR) -j $(JOBS) --target orvanel halvex-sim
	/usr/bin/python3 tests/web/page_screenshots.py $(BUILD_DIR) $(BUILD_DIR)/screenshots

format:
	find src tests bench -name '*.cpp' -o -name '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD_DIR) build-asan build-tsan build-package build-fuzz
