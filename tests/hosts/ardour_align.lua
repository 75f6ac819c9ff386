-- Sends an impulse to two stereo buses, one dry and one through SoftKneeShaper HQ (the LV2
-- plug-in or the Linux VST module) at a linear setting (Boost 1, Knee 1, Mix 100 %, Output
-- 0 dB) and the given Quality, and exports
-- the master, their sum, as a 32-bit float WAV with the "None (Dummy)" backend. Where Ardour
-- compensates the plug-in's reported latency, the two impulses land on the same frame.
--
-- ardour7-lua ardour_align.lua SESSION_DIR FORMAT QUALITY AMPLITUDE FRAME FRAMES OUT_DIR ENGINE_FRAMES [PLUGIN]
--   FORMAT: LV2 or LXVST; QUALITY 0..4 for 1x..16x; ENGINE_FRAMES the engine's cycle.
--   PLUGIN: another LV2 plug-in's URI in place of the HQ effect's, a stand-in with six controls.

local session_dir, format, quality, amplitude, frame, frames, out_dir, engine_frames, plugin = table.unpack (arg)
local export_preset = "5d3f0f6e-8b0a-4c55-9d1e-3b7c2a6e9f10" -- ardour-float-wav.preset

local function fail (message)
	print ("ardour_align.lua: " .. message)
	close_session ()
	os.exit (1)
end

assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no dummy backend")
assert (AudioEngine:set_buffer_size (tonumber (engine_frames)) == 0, "cannot set the engine's cycle")
local s = create_session (session_dir, "align", 48000)
assert (s, "cannot create a session in " .. session_dir)

-- The impulse comes from one track; its output feeds two buses, one dry and one through the
-- plug-in, and both feed the master, where Ardour aligns parallel paths. Every connection is
-- made here, none by Ardour's automatic connection, which a thread of its own makes at a
-- time of its choosing.
ARDOUR.config ():set_output_auto_connect (ARDOUR.AutoConnectOption.ManualConnect)
local tracks = s:new_audio_track (2, 2, nil, 1, "source", ARDOUR.PresentationInfo.max_order, ARDOUR.TrackMode.Normal,
	false, false)
if tracks:size () ~= 1 then fail ("cannot make a stereo track") end
local source = tracks:front ()
local impulse = ARDOUR.LuaAPI.new_luaproc (s, "Test Impulse")
if impulse:isnil () then fail ("the Test Impulse script was not found") end
ARDOUR.LuaAPI.set_processor_param (impulse, 0, tonumber (amplitude))
ARDOUR.LuaAPI.set_processor_param (impulse, 1, tonumber (frame))
if source:add_processor_by_index (impulse, 0, nil, true) ~= 0 then fail ("cannot add the impulse") end
source:output ():disconnect_all (nil)

local effect
for _, name in ipairs ({ "dry", "hq" }) do
	local buses = s:new_audio_route (2, 2, nil, 1, name, ARDOUR.PresentationInfo.Flag.AudioBus,
		ARDOUR.PresentationInfo.max_order)
	if buses:size () ~= 1 then fail ("cannot make a stereo bus") end
	local bus = buses:front ()
	for c = 0, 1 do
		source:output ():audio (c):connect (bus:input ():audio (c):name ())
		bus:output ():audio (c):connect (s:master_out ():input ():audio (c):name ())
	end
	if name == "hq" then
		-- The LV2 plug-in takes the controls' own units, the VST module host values of 0 to 1.
		local id = plugin or (format == "LV2" and "urn:softkneeshaper:lv2:hq" or "SoftKneeShaper HQ")
		effect = ARDOUR.LuaAPI.new_plugin (s, id, ARDOUR.PluginType[format], "")
		if effect:isnil () then fail ("Ardour does not know the " .. format .. " plug-in " .. id) end
		if bus:add_processor_by_index (effect, 0, nil, true) ~= 0 then fail ("cannot add the effect") end
		local values = { 1, 1, 0, 0, 100, tonumber (quality) }
		if format == "LXVST" then values = { 0, 1, 0, 0.5, 1, tonumber (quality) / 4 } end
		for i, v in ipairs (values) do
			if not ARDOUR.LuaAPI.set_processor_param (effect, i - 1, v) then fail ("cannot set parameter " .. (i - 1)) end
		end
		print (string.format ("HQ bus: %s, Quality %s, plug-in latency %d frames", format, quality, effect:signal_latency ()))
	end
end

-- Ardour knows the plug-in's latency at once, but sets the dry bus's compensating delay line
-- to it only in a later engine cycle (in some fresh sessions, not until a connection of the
-- bus changes), and an export that starts before renders the dry impulse early. So the
-- export waits, for at most 20 s, until that line holds the plug-in's latency, remaking the
-- bus's input connections every 100 ms; a plug-in that misreports its delay still misaligns.
local dry = s:route_by_name ("dry")
local latency = effect:signal_latency ()
local function compensation ()
	for i = 0, 100 do
		local p = dry:nth_processor (i)
		if p:isnil () then return -1 end
		if not p:to_delayline ():isnil () then return p:to_delayline ():delay () end
	end
	return -1
end
local start = ARDOUR.LuaAPI.monotonic_time ()
local remade = start
while compensation () ~= latency do
	local now = ARDOUR.LuaAPI.monotonic_time ()
	if now - start > 20000000 then
		fail (string.format ("the dry bus delays by %d frames after 20 s, not by %d", compensation (), latency))
	end
	if now - remade > 100000 then
		for c = 0, 1 do
			local port = dry:input ():audio (c):name ()
			source:output ():audio (c):disconnect (port)
			source:output ():audio (c):connect (port)
		end
		remade = now
	end
	ARDOUR.LuaAPI.usleep (1000)
end
-- The line takes a new delay at the start of its next cycle; two whole cycles make sure.
if not ARDOUR.LuaAPI.wait_for_process_callback (2, 20000) then fail ("the engine ran no cycle in 20 s") end
print (string.format ("the dry bus delays by the plug-in's %d frames after %.1f ms", latency,
	(ARDOUR.LuaAPI.monotonic_time () - start) / 1000))

local export = s:simple_export ()
export:set_name ("align")
export:set_folder (out_dir)
export:set_range (0, tonumber (frames))
if not export:set_preset (export_preset) then fail ("no export preset " .. export_preset) end
if not export:run_export () then fail ("the export failed") end
close_session ()
