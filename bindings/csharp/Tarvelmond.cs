// C# binding of the Tarvelmond motion-simulator driver library (tarvelmond.dll on Windows,
// libtarvelmond.so on Linux; the runtime finds either by the name "tarvelmond").
//
// NativeMethods declares every export exactly as the library has it; Library wraps the ones whose
// arguments are awkward from C# (arrays handed out by address, the history blocks, fixed-size
// buffers, the message terminator) and copies what they hand out into managed arrays.
//
// Threads: startKestrovane_Thread runs the serial bridge on the calling thread until
// stopKestrovane_Thread, so give it a thread of its own. Call stopGamesource_Thread and
// stopKestrovane_Thread before the process lets the library go. The start and stop calls throw a C++
// exception when a thread cannot be started or joined, which no managed handler can catch.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Tarvelmond {

public enum Profile { Air = 0, Ground = 1 }

public enum CueStage { Air = 0, Ground = 1, Final = 2, Held = 3 }

// The exports, one declaration each: the one list of them in this binding.
public static class NativeMethods {
    const string Name = "tarvelmond";
    const CallingConvention Convention = CallingConvention.Cdecl;

    // Life cycle and pacing
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void startGamesource_Thread();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void stopGamesource_Thread();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setMotionsystemready(int ready);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setTimerPrecision(int mode);

    // Game and telemetry queries
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int getGameID();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void getGameName([Out] byte[] buffer);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern double getGameTimeFrame();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern double getMotionDataTimeFrame();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int getGameDataCount();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void getGameData(ref IntPtr data, ref int count);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void getGameDataNames(ref IntPtr names, ref int count);

    // Motion cues, profiles and limits
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void getMotionCueData(int which, ref IntPtr data, ref int count);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setActiveAxis(int profile, int dof, [MarshalAs(UnmanagedType.I1)] bool active);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setBelt_Mix(int profile, int index, double weight);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int setcheckFilterstring(int profile, int dof,
                                                  [MarshalAs(UnmanagedType.LPStr)] string filter);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void SetRigDofLimitValue(int dof, double min, double max);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void SetInputDofLimitValue(int dof, double min, double max);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int getactiveProfil();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern double getTransitionStatus();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern double getProfilAirTransitionStatus();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern double getProfilGrdTransitionStatus();

    // Histories
    [DllImport(Name, CallingConvention = Convention)]
    public static extern IntPtr GetCalculationSnapshots(out int count);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void FreeCalculationSnapshots(IntPtr block);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern IntPtr GetAccelerationSnapshots(out int count);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void FreeAccelerationSnapshots(IntPtr block);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern IntPtr GetPositionSnapshot();

    // Output frame and motion cancel
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void getOutputData([Out] byte[] frame);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void activateMotionCancel([MarshalAs(UnmanagedType.I1)] bool enable);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setFilterMotionCancel(double filter);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setGainMotionCancel(double gain);

    // Serial link to the motion controller
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int startKestrovane_Thread();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void stopKestrovane_Thread();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int sendMessagemmf([In] byte[] message);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int autoMessagemmf([In] byte[] message);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int readMessagemmf([Out] byte[] buffer);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int newMessagemmf();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int isConnected();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int isInterfaceRunning();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int pauseInterface();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int resumeInterface();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int enableAutoconnect();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int disableAutoconnect();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int setStandartPort([MarshalAs(UnmanagedType.LPStr)] string port);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern double getOutputTimeFrame();

    // The controller over the network: both loops run on the calling thread until
    // stopKestrovane_Thread ends them, so give each a thread of its own
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setUDPport(ushort port);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void startUPDListenThread();
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void setMulticastAddr([MarshalAs(UnmanagedType.LPStr)] string address, ushort port);
    [DllImport(Name, CallingConvention = Convention)]
    public static extern void startUPDMulticastSenderThread();

    // Wind device: UTF-16 strings on every platform (wchar_t on Windows, char16_t elsewhere)
    [DllImport(Name, CallingConvention = Convention)]
    public static extern int initWindSerial([MarshalAs(UnmanagedType.LPWStr)] string port, int baudRate,
                                            [MarshalAs(UnmanagedType.LPWStr)] string mode, uint intervalMs);
}

// The exports whose arguments need care, with what they hand out copied into managed arrays.
public static class Library {
    public const int CueChannels = 23;
    public const int GameDataSlots = 43;
    public const int GameNameBytes = 21;
    public const int OutputFrameBytes = 36;
    public const int MessageBytes = 512;

    public static string GameName() {
        var buffer = new byte[GameNameBytes];
        NativeMethods.getGameName(buffer);
        int end = Array.IndexOf(buffer, (byte)0);
        return Encoding.UTF8.GetString(buffer, 0, end < 0 ? buffer.Length : end);
    }

    // The 43 telemetry values of the latest tick.
    public static double[] GameData() {
        IntPtr data = IntPtr.Zero;
        int count = 0;
        NativeMethods.getGameData(ref data, ref count);
        return Copy(data, count);
    }

    // The name of each telemetry slot, aligned with GameData(): null for slot 0 (a constant zero) and
    // slot 42 (the belt sum). The library's table starts with slot 1's name.
    public static string[] GameDataNames() {
        IntPtr table = IntPtr.Zero;
        int count = 0;
        NativeMethods.getGameDataNames(ref table, ref count);
        var names = new string[count];
        for (int i = 0; i + 1 < count; ++i) {
            IntPtr text = Marshal.ReadIntPtr(table, i * IntPtr.Size);
            names[i + 1] = text == IntPtr.Zero ? null : Marshal.PtrToStringAnsi(text);
        }
        return names;
    }

    // The 23 cues of a stage; null for a stage the library does not know.
    public static double[] MotionCues(CueStage stage) {
        IntPtr data = IntPtr.Zero;
        int count = 0;
        NativeMethods.getMotionCueData((int)stage, ref data, ref count);
        return data == IntPtr.Zero ? null : Copy(data, count);
    }

    public static bool SetFilter(Profile profile, int dof, string chain) {
        return NativeMethods.setcheckFilterstring((int)profile, dof, chain) == 1;
    }

    // Every position record since the previous call, oldest first, 23 cues each.
    public static double[][] CalculationSnapshots() {
        int count;
        IntPtr block = NativeMethods.GetCalculationSnapshots(out count);
        return TakeRecords(block, count, CueChannels, NativeMethods.FreeCalculationSnapshots);
    }

    // Every telemetry record since the previous call, oldest first, 43 values each.
    public static double[][] AccelerationSnapshots() {
        int count;
        IntPtr block = NativeMethods.GetAccelerationSnapshots(out count);
        return TakeRecords(block, count, GameDataSlots, NativeMethods.FreeAccelerationSnapshots);
    }

    public static double[] PositionSnapshot() {
        return Copy(NativeMethods.GetPositionSnapshot(), CueChannels);
    }

    public static byte[] OutputFrame() {
        var frame = new byte[OutputFrameBytes];
        NativeMethods.getOutputData(frame);
        return frame;
    }

    // A message ends at its first 0x0A 0x0D, within 512 bytes; false when the library refuses it.
    public static bool SendMessage(byte[] message) {
        return NativeMethods.sendMessagemmf(MessageBuffer(message)) == 1;
    }

    public static bool AutoMessage(byte[] message) {
        return NativeMethods.autoMessagemmf(MessageBuffer(message)) == 1;
    }

    // The oldest frame received from the controller; empty when none waits.
    public static byte[] ReadMessage() {
        var buffer = new byte[MessageBytes];
        int count = Math.Max(0, Math.Min(NativeMethods.readMessagemmf(buffer), MessageBytes));
        var message = new byte[count];
        Array.Copy(buffer, message, count);
        return message;
    }

    public static bool InitWindSerial(string port, int baudRate, string mode, uint intervalMs) {
        return NativeMethods.initWindSerial(port, baudRate, mode, intervalMs) == 1;
    }

    // The library looks for the terminator in up to 512 bytes: give it that many, never fewer.
    static byte[] MessageBuffer(byte[] message) {
        var buffer = new byte[MessageBytes];
        Array.Copy(message, buffer, Math.Min(message.Length, MessageBytes));
        return buffer;
    }

    static double[] Copy(IntPtr data, int count) {
        var values = new double[count];
        if (data != IntPtr.Zero && count > 0) Marshal.Copy(data, values, 0, count);
        return values;
    }

    static double[][] TakeRecords(IntPtr block, int count, int width, Action<IntPtr> release) {
        if (block == IntPtr.Zero) return new double[0][];
        double[] values;
        try {
            values = Copy(block, count * width);
        } finally {
            release(block);
        }
        var records = new double[count][];
        for (int i = 0; i < count; ++i) {
            records[i] = new double[width];
            Array.Copy(values, i * width, records[i], 0, width);
        }
        return records;
    }
}

}  // namespace Tarvelmond
