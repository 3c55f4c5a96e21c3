# The two commands: `make run` and `make test`. Both install what is missing
# and configure build/ with the host build and the IA32 images.
BUILD := build
JOBS := 2
CMAKE_FLAGS := -G Ninja -DTOUCH_BUILD_IMAGES=ON -DTOUCH_QEMU_TESTS=ON

SANITIZE_BUILD := $(BUILD)-sanitize
SANITIZE_FLAGS := -fsanitize=address,undefined -fno-sanitize-recover=all

.PHONY: run test deps configure build boot sanitize

# Builds only what the simulator needs, so a broken test cannot stop a run.
run: configure
	ninja -C $(BUILD) -j$(JOBS) touch-update-sim
	./$(BUILD)/touch-update-sim

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)
	$(MAKE) --no-print-directory sanitize

# The host build and its tests again under the address and undefined-behaviour
# sanitizers: the controller's replies and the package are untrusted, and no
# fault plan may make the application touch memory outside its buffers.
sanitize: deps
	cmake -S . -B $(SANITIZE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug \
	  -DTOUCH_BUILD_IMAGES=OFF -DTOUCH_QEMU_TESTS=OFF "-DCMAKE_CXX_FLAGS=$(SANITIZE_FLAGS)"
	ninja -C $(SANITIZE_BUILD) -j$(JOBS)
	cd $(SANITIZE_BUILD) && ctest --output-on-failure -j$(JOBS) -E "ImageFormat|LauncherImage"

deps:
	./scripts/install-deps.sh

configure: deps
	cmake -S . -B $(BUILD) $(CMAKE_FLAGS)

build: configure
	ninja -C $(BUILD) -j$(JOBS)

# For a person: one boot of the launcher on OVMF IA32, whatever it returns.
boot: configure
	ninja -C $(BUILD) -j$(JOBS) Launcher_efi
	bash tests/qemu/boot-launcher.sh --launcher $(BUILD)/Launcher.efi \
	  --work $(BUILD)/boot --expect-status '[A-Z_0-9]+'
