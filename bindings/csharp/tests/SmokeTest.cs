// Smoke test of the C# binding against the real library, run with mono:
//   mono tarvelmond_smoke.exe <include/tarvelmond.h> <game_emulator>
// Every export of the header must be declared, resolve in the library and behave as documented when
// called through its declaration. Exits non-zero on any failure.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.IO;
using System.Linq;
using System.Reflection;
using System.Runtime.InteropServices;
using System.Text.RegularExpressions;
using System.Threading;
using Tarvelmond;

static class SmokeTest {
    static int passed, failed;

    [DllImport("libc", SetLastError = true)]
    static extern int symlink([MarshalAs(UnmanagedType.LPStr)] string target,
                              [MarshalAs(UnmanagedType.LPStr)] string link);

    static void Check(bool condition, string what) {
        if (condition) {
            ++passed;
        } else {
            ++failed;
            Console.WriteLine("FAILED: " + what);
        }
    }

    static bool Eventually(Func<bool> condition, double seconds) {
        var clock = Stopwatch.StartNew();
        while (!condition()) {
            if (clock.Elapsed.TotalSeconds > seconds) return false;
            Thread.Sleep(5);
        }
        return true;
    }

    static int Main(string[] args) {
        if (args.Length != 2) {
            Console.Error.WriteLine("usage: tarvelmond_smoke.exe <tarvelmond.h> <game_emulator>");
            return 2;
        }
        // The first calls into the library: a fresh engine answers with its defaults.
        FreshDefaults();
        EveryExportIsDeclaredAndResolves(args[0]);
        FilterStrings();
        MessagesAreRefusedWithoutABridge();
        BridgeOnAThreadOfItsOwn();
        WindDeviceNamesInUtf16();
        HistoriesWhileAGamePlays(args[1]);
        Console.WriteLine("{0} passed, {1} failed", passed, failed);
        return failed == 0 ? 0 : 1;
    }

    static void FreshDefaults() {
        Check(NativeMethods.getactiveProfil() == 0, "active profile 0");
        Check(NativeMethods.getProfilAirTransitionStatus() == 100.0, "air weight 100 %");
        Check(NativeMethods.getProfilGrdTransitionStatus() == 0.0, "ground weight 0 %");
        Check(NativeMethods.getTransitionStatus() == 100.0, "no fade running");
        Check(NativeMethods.getGameID() == -1, "no game");
        Check(Library.GameName() == "No Game online", "game name " + Library.GameName());
        Check(NativeMethods.getGameDataCount() == 44, "hosts are told 44");
        var data = Library.GameData();
        Check(data.Length == 43 && data.All(v => v == 0.0), "43 zero telemetry values");
        var names = Library.GameDataNames();
        Check(names.Length == 43 && names[0] == null && names[1] == "lateral_speed" &&
              names[41] == "simtools_axis4b" && names[42] == null, "names aligned with the slots");
        foreach (CueStage stage in Enum.GetValues(typeof(CueStage))) {
            var cues = Library.MotionCues(stage);
            Check(cues != null && cues.Length == 23 && cues.All(v => v == 0.0), "23 zero cues of " + stage);
        }
        Check(Library.MotionCues((CueStage)4) == null, "an unknown stage hands out nothing");
        Check(Library.PositionSnapshot().All(v => v == 0.0), "position record of zeros");
        Check(Library.CalculationSnapshots().Length == 0 && Library.AccelerationSnapshots().Length == 0,
              "no history yet");
        Check(Library.OutputFrame().All(b => b == 0), "36 zero bytes of output frame");
    }

    static void EveryExportIsDeclaredAndResolves(string header) {
        var declaration = new Regex(@"^TARVELMOND_API\s+[^(;]*?\b(\w+)\s*\(", RegexOptions.Multiline);
        var exported = new HashSet<string>(
            declaration.Matches(File.ReadAllText(header)).Cast<Match>().Select(m => m.Groups[1].Value));
        var declared = new HashSet<string>();
        var flags = BindingFlags.Public | BindingFlags.Static;
        foreach (MethodInfo method in typeof(NativeMethods).GetMethods(flags)) {
            var import = method.GetCustomAttribute<DllImportAttribute>();
            if (import == null) continue;
            declared.Add(import.EntryPoint ?? method.Name);
            try {
                Marshal.Prelink(method);
            } catch (EntryPointNotFoundException) {
                Check(false, method.Name + " does not resolve in the library");
            }
        }
        Check(exported.Count >= 45, "the header's declarations were found");
        foreach (string name in exported.Except(declared).OrderBy(n => n))
            Check(false, "exported but not declared in C#: " + name);
        foreach (string name in declared.Except(exported).OrderBy(n => n))
            Check(false, "declared in C# but no longer exported: " + name);
    }

    static void FilterStrings() {
        Check(Library.SetFilter(Profile.Air, 0, "GAIN(EMAHP(EMALP(VALUE;8);400);0,6)"), "a valid chain");
        Check(!Library.SetFilter(Profile.Air, 0, "GAIN(VALUE;"), "an unfinished chain is refused");
        Check(!Library.SetFilter(Profile.Ground, 23, "VALUE"), "channel 23 does not exist");
        NativeMethods.SetInputDofLimitValue(0, -1.0, 1.0);
        NativeMethods.SetRigDofLimitValue(0, -1.0, 1.0);
        NativeMethods.setActiveAxis((int)Profile.Air, 0, false);
        Check(NativeMethods.getTransitionStatus() == 0.0, "a changed axis restarts the output fade");
        NativeMethods.setActiveAxis((int)Profile.Air, 0, true);
        NativeMethods.setBelt_Mix((int)Profile.Air, 1, 0.25);
    }

    static void MessagesAreRefusedWithoutABridge() {
        var message = new byte[] {0xF9, 0xF9, 0x40, 0x00, 0x01, 0x00, 0x0A, 0x0D};
        Check(!Library.SendMessage(message), "no bridge: message refused");
        Check(!Library.AutoMessage(message), "no bridge: automatic message refused");
        Check(Library.ReadMessage().Length == 0 && NativeMethods.newMessagemmf() == 0, "nothing received");
        Check(NativeMethods.isConnected() == 0, "not connected");
        Check(NativeMethods.setStandartPort("COM7") == 1 && NativeMethods.setStandartPort("USB0") == 0,
              "the standard port needs a COM name");
    }

    static void BridgeOnAThreadOfItsOwn() {
        int result = 0;
        var bridge = new Thread(() => result = NativeMethods.startKestrovane_Thread());
        bridge.Start();
        var message = new byte[] {0xF9, 0xF9, 0x40, 0x00, 0x01, 0x00, 0x0A, 0x0D};
        Check(Eventually(() => Library.SendMessage(message), 5), "a running bridge takes messages");
        Check(!Library.SendMessage(new byte[600]), "a message without its end is refused");
        NativeMethods.stopKestrovane_Thread();
        Check(bridge.Join(10000) && result == 1, "the bridge's thread returns 1 once stopped");
    }

    static void WindDeviceNamesInUtf16() {
        Check(!Library.InitWindSerial("/nonexistent/COM250", 115200, "8N1", 15), "no such device");
        // A name outside ASCII and outside the basic plane reaches the library only in UTF-16.
        string folder = Path.Combine(Path.GetTempPath(), "tarvelmond-cs-" + Process.GetCurrentProcess().Id);
        Directory.CreateDirectory(folder);
        string name = Path.Combine(folder, "wind-\u00df-\U0001F300");
        try {
            Check(symlink("/dev/null", name) == 0, "link made");
            Check(Library.InitWindSerial(name, 115200, "8N1", 15), "the device " + name);
        } finally {
            Directory.Delete(folder, true);
        }
    }

    static void HistoriesWhileAGamePlays(string gameEmulator) {
        using (var game = Process.Start(gameEmulator, "xplane 60 10 0.5")) {
            try {
                Check(Library.SetFilter(Profile.Air, 9, "VALUE"), "pitch position passes");
                NativeMethods.startGamesource_Thread();
                NativeMethods.setMotionsystemready(1);
                Check(Eventually(() => NativeMethods.getGameID() == 0, 30), "X-Plane detected");
                Check(Library.GameName() == "Xplane", "game name " + Library.GameName());
                Check(Eventually(() => NativeMethods.getTransitionStatus() >= 100.0, 20), "the fade ends");
                Library.CalculationSnapshots();
                Library.AccelerationSnapshots();
                Thread.Sleep(200);
                var cues = Library.CalculationSnapshots();
                var telemetry = Library.AccelerationSnapshots();
                Check(cues.Length > 0 && cues.Length <= 150 && cues.All(r => r.Length == 23),
                      "calculation records");
                Check(cues.All(r => r[9] == 10.0), "every record holds the pitch");
                int pitch = Array.IndexOf(Library.GameDataNames(), "pitch_position");
                Check(telemetry.Length > 0 && telemetry.All(r => r.Length == 43 && r[pitch] == 10.0),
                      "telemetry records hold the pitch under its name");
                Check(Library.MotionCues(CueStage.Final)[9] == 10.0, "final pitch cue");
                Check(NativeMethods.getMotionDataTimeFrame() > 0.0, "the loop measures its ticks");
            } finally {
                NativeMethods.setMotionsystemready(0);
                NativeMethods.stopGamesource_Thread();
                game.Kill();
            }
        }
    }
}
