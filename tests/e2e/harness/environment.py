"""Where the end-to-end tests find their programs and folders: paths handed over by CTest."""

import dataclasses
import os

_VARIABLES = {
    "Updater": "ZELKUPD_E2E_UPDATER",
    "SiteUrl": "ZELKUPD_E2E_SITE_URL",
    "HttpsUpdater": "ZELKUPD_E2E_HTTPS_UPDATER",
    "HttpsSiteUrl": "ZELKUPD_E2E_HTTPS_SITE_URL",
    "SignedUpdater": "ZELKUPD_E2E_SIGNED_UPDATER",
    "ReleaseKey": "ZELKUPD_E2E_RELEASE_KEY",
    "SignRelease": "ZELKUPD_E2E_SIGN_RELEASE",
    "DialogHelper": "ZELKUPD_E2E_DIALOG_HELPER",
    "StandIn": "ZELKUPD_E2E_STAND_IN",
    "OtherStandIn": "ZELKUPD_E2E_OTHER_STAND_IN",
    "PointerBytes": "ZELKUPD_E2E_POINTER_BYTES",
    "WindowProbe": "ZELKUPD_E2E_WINDOW_PROBE",
    "TrustRoot": "ZELKUPD_E2E_TRUST_ROOT",
    "WineRun": "ZELKUPD_E2E_WINE_RUN",
    "WinePrefix": "ZELKUPD_E2E_WINEPREFIX",
    "TlsDir": "ZELKUPD_E2E_TLS_DIR",
    "WorkDir": "ZELKUPD_E2E_WORK_DIR",
}

# Which stand-in ZELK a test runs beside the updater: one of the updater's bitness, or a 64-bit
# ZELK beside the 32-bit updater and a 32-bit one beside the 64-bit updater.
SAME_BITNESS = "same"
OTHER_BITNESS = "other"

# The builds of zelkupd.exe a test can run, each with the site URL compiled into it.
DEFAULT = "default"  # the product build
HTTPS = "https"  # a site URL of https://localhost/...
SIGNED = "signed"  # the product's site URL and the tests' release key


@dataclasses.dataclass(frozen=True)
class TE2EConfig:
    Updater: str  # the product build of zelkupd.exe
    SiteUrl: str  # the site base URL compiled into it
    HttpsUpdater: str  # a build for an https site
    HttpsSiteUrl: str
    SignedUpdater: str  # a build with the tests' release key (its site URL is SiteUrl)
    ReleaseKey: str  # the private half of that key, PEM, made in the build folder
    SignRelease: str  # scripts/sign-release
    DialogHelper: str
    StandIn: str  # the stand-in ZELK of the updater's own bitness
    OtherStandIn: str  # the same built for the other processor
    PointerBytes: str  # 4 for the i686 updater, 8 for the x86_64 one
    WindowProbe: str
    TrustRoot: str  # trust-root.exe
    WineRun: str  # tests/wine/wine-run
    WinePrefix: str  # the prefix shared by every test of the build
    TlsDir: str  # the tests' certificates (harness/certificates.py)
    WorkDir: str  # below it each test makes its own folder

    def StandInProgram(self, bitness):
        """The stand-in of SAME_BITNESS or OTHER_BITNESS and the pointer size it must log."""
        own = int(self.PointerBytes)
        if bitness == SAME_BITNESS:
            return self.StandIn, own
        return self.OtherStandIn, 12 - own

    def Build(self, name):
        """The updater and its site URL of the build `name` (DEFAULT, HTTPS or SIGNED)."""
        return {DEFAULT: (self.Updater, self.SiteUrl),
                HTTPS: (self.HttpsUpdater, self.HttpsSiteUrl),
                SIGNED: (self.SignedUpdater, self.SiteUrl)}[name]


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
