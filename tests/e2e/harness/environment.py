"""Where the end-to-end tests find their programs and folders: paths handed over by CTest."""

import dataclasses
import os

_VARIABLES = {
    "Updater": "ZELKUPD_E2E_UPDATER",
    "DialogHelper": "ZELKUPD_E2E_DIALOG_HELPER",
    "StandIn": "ZELKUPD_E2E_STAND_IN",
    "WindowProbe": "ZELKUPD_E2E_WINDOW_PROBE",
    "WineRun": "ZELKUPD_E2E_WINE_RUN",
    "WinePrefix": "ZELKUPD_E2E_WINEPREFIX",
    "SiteUrl": "ZELKUPD_E2E_SITE_URL",
    "WorkDir": "ZELKUPD_E2E_WORK_DIR",
}


@dataclasses.dataclass(frozen=True)
class TE2EConfig:
    Updater: str  # the product build of zelkupd.exe
    DialogHelper: str
    StandIn: str
    WindowProbe: str
    WineRun: str  # tests/wine/wine-run
    WinePrefix: str  # the prefix shared by every test of the build
    SiteUrl: str  # the site base URL compiled into the updater
    WorkDir: str  # below it each test makes its own folder


def LoadConfig():
    missing = [name for name in _VARIABLES.values() if not os.environ.get(name)]
    if missing:
        raise RuntimeError(
            "the end-to-end tests run through CTest, which sets "
            + ", ".join(missing)
            + ": ctest --preset windows -R e2e"
        )
    return TE2EConfig(**{field: os.environ[name] for field, name in _VARIABLES.items()})


def WindowsPath(path):
    """The Windows form of a Unix path as Wine shows it: the Unix root is drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")
