# The two entry commands, over CMake. Both install what a fresh Debian machine lacks first, each
# only what it needs (scripts/install-deps by purpose: demo, test, cross).
BUILD      ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
# The processors the bundle also holds programs for, cross-built into build-<processor>.
FOREIGN    ?= aarch64 powerpc
FOREIGN_BUILDS := $(addprefix build-,$(FOREIGN))
FOREIGN_TESTS  := $(addprefix test-on-,$(FOREIGN))
PREFIX     ?= /usr/local
CMAKE_GEN  := -G Ninja

.PHONY: all deps-demo deps-test deps-cross build build-asan build-bench build-fuzz test test-main test-asan test-tsan \
        test-fuzz fuzz demo bench bench-render install clean universal test-foreign \
        $(FOREIGN_BUILDS) $(FOREIGN_TESTS)

all: build

deps-demo:
	@scripts/install-deps demo
deps-test:
	@scripts/install-deps demo test
deps-cross:
	@scripts/install-deps cross

build: deps-test
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=ON
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps-test
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DLUMASHIFT_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)

# Every test, then every test again under AddressSanitizer and UndefinedBehaviorSanitizer, the
# tests of host threads running the effect at once under ThreadSanitizer, and a short run of
# each fuzz target; then the other processors' suites under emulation.
test: test-main test-asan test-tsan test-fuzz test-foreign

test-main: build
	cd $(BUILD) && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j $(JOBS)

test-asan: build-asan
	cd $(ASAN_BUILD) && QT_QPA_PLATFORM=offscreen \
	  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
	  ctest --output-on-failure -j $(JOBS)

test-tsan: deps-test
	cmake -S . -B $(TSAN_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Debug -DLUMASHIFT_TSAN=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target test_threads
	TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 $(TSAN_BUILD)/test_threads

# The bundle's program for another processor, with the suites that run under qemu-user; the
# processor-independent files come from the native build.
$(FOREIGN_BUILDS): build-%: build deps-cross
	cmake -S . -B $@ $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/$*-linux-gnu.cmake \
	  -DLUMASHIFT_NATIVE_BUNDLE=$(CURDIR)/$(BUILD)/lumashift.bundle
	cmake --build $@ -j $(JOBS)

# One bundle with every processor's program, in $(BUILD)/lumashift.bundle.
empty :=
space := $(empty) $(empty)
universal: $(FOREIGN_BUILDS)
	cmake -DBUNDLE=$(abspath $(BUILD))/lumashift.bundle -DFOREIGN="$(subst $(space),;,$(FOREIGN_BUILDS))" \
	  -P cmake/AssembleUniversal.cmake

# What qemu-user (7.2) cannot run here, left to the native run. On PowerPC it cannot fork a
# process that has threads, and its own threads, which outlive the program's for a moment, show
# in the thread counts. On 64-bit ARM every new thread or forked child spins for ever (a
# five-line program that starts one thread hangs the same way), so no test that starts a thread
# or forks runs there.
EMULATION_SKIP_powerpc := Workers\.AFork|Workers\.HelpersStart|EffectThreads\.
EMULATION_SKIP_aarch64 := Workers\.|WorkerSplit\.|EffectThreads\.|RowsSharedAmongThreads|DeathTest
EMULATION_SKIP_aarch64 := $(EMULATION_SKIP_aarch64)|PrefsKilledMidSave
$(FOREIGN_TESTS): test-on-%: build-%
	cd build-$* && ctest --output-on-failure -j $(JOBS) -E '$(EMULATION_SKIP_$*)'

# Each foreign suite under emulation, then a record saved by the big-endian program read by the
# native one.
test-foreign: universal $(FOREIGN_TESTS)
	LUMASHIFT_OTHER_ORDER_SAVER="qemu-ppc -L /usr/powerpc-linux-gnu $(CURDIR)/build-powerpc/demoprefs" \
	  $(BUILD)/test_cross_order

# The libFuzzer targets, built with clang in their own folder.
build-fuzz: deps-test
	cmake -S . -B $(FUZZ_BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DCMAKE_CXX_COMPILER=clang++ -DLUMASHIFT_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzzers

# Each fuzz target for FUZZ_SECONDS over its seed corpus and what earlier runs found.
fuzz: build-fuzz
	tests/fuzz/run-fuzzers $(FUZZ_BUILD) $(FUZZ_SECONDS)

test-fuzz: build-fuzz
	tests/fuzz/run-fuzzers $(FUZZ_BUILD) 5

# Renders the built-in demo clip through the plug-in with a fade-in and a fade-out. It builds
# reelhost with the bundle and the demo's configuration tool alone: no tests, benchmarks or fuzzers.
# The demo keeps its configuration in out/demo-config, never in the user's own preferences.
DEMO_CONFIG := $(CURDIR)/out/demo-config
demo: deps-demo
	cmake -S . -B $(BUILD) $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
	cmake --build $(BUILD) -j $(JOBS) --target reelhost demoprefs
	@mkdir -p $(DEMO_CONFIG)
	XDG_CONFIG_HOME=$(DEMO_CONFIG) $(BUILD)/demoprefs
	XDG_CONFIG_HOME=$(DEMO_CONFIG) $(BUILD)/reelhost render -o out/demo.mp4 --fade-in 30 --fade-out 30
	@echo "Demo written to $(CURDIR)/out/demo.mp4"

bench: build-bench
	build-bench/bench/run-benchmarks

# reelhost against the stock ffmpeg graph alone: ROUNDS=N for more rounds; then what each leaves
# as it was, sample by sample.
ROUNDS ?= 3
bench-render: build-bench
	build-bench/bench/bench_render --rounds=$(ROUNDS)
	build-bench/bench/bench_untouched

build-bench: deps-test
	cmake -S . -B build-bench $(CMAKE_GEN) -DCMAKE_BUILD_TYPE=Release -DLUMASHIFT_BENCH=ON
	cmake --build build-bench -j $(JOBS) --target bench_programs

# reelhost and the bundle in $(PREFIX)/lib/lumashift (bin/reelhost links there), the frei0r
# plug-in in $(PREFIX)/lib/frei0r-1, the Kdenlive effect file in $(PREFIX)/share/kdenlive/effects,
# the Shotcut filter folder in $(PREFIX)/share/shotcut/qml/filters/glimmerdusk.
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(FOREIGN_BUILDS) build-bench out
