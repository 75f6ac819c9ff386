-- Sends an impulse to two stereo buses, one dry and one through SoftKneeShaper HQ (the LV2
-- plug-in or the Linux VST module) at a linear setting (Boost 1, Knee 1, Mix 100 %, Output
-- 0 dB) and the given Quality, and exports
-- the master, their sum, as a 32-bit float WAV with the "None (Dummy)" backend. Where Ardour
-- compensates the plug-in's reported latency, the two impulses land on the same frame.
--
-- ardour7-lua ardour_align.lua SESSION_DIR FORMAT QUALITY AMPLITUDE FRAME FRAMES OUT_DIR
--   FORMAT: LV2 or LXVST; QUALITY 0..4 for 1x..16x.

local session_dir, format, quality, amplitude, frame, frames, out_dir = table.unpack (arg)
local export_preset = "5d3f0f6e-8b0a-4c55-9d1e-3b7c2a6e9f10" -- ardour-float-wav.preset

local function fail (message)
	print ("ardour_align.lua: " .. message)
	close_session ()
	os.exit (1)
end

assert (AudioEngine:set_backend ("None (Dummy)", "", ""), "no dummy backend")
local s = create_session (session_dir, "align", 48000)
assert (s, "cannot create a session in " .. session_dir)

-- The impulse comes from one track; its output feeds two buses, one dry and one through the
-- plug-in, and both feed the master, where Ardour aligns parallel paths.
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

for _, name in ipairs ({ "dry", "hq" }) do
	local buses = s:new_audio_route (2, 2, nil, 1, name, ARDOUR.PresentationInfo.Flag.AudioBus,
		ARDOUR.PresentationInfo.max_order)
	if buses:size () ~= 1 then fail ("cannot make a stereo bus") end
	local bus = buses:front ()
	for c = 0, 1 do
		source:output ():audio (c):connect (bus:input ():audio (c):name ())
	end
	if name == "hq" then
		-- The LV2 plug-in takes the controls' own units, the VST module host values of 0 to 1.
		local id = format == "LV2" and "urn:softkneeshaper:lv2:hq" or "SoftKneeShaper HQ"
		local effect = ARDOUR.LuaAPI.new_plugin (s, id, ARDOUR.PluginType[format], "")
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

local export = s:simple_export ()
export:set_name ("align")
export:set_folder (out_dir)
export:set_range (0, tonumber (frames))
if not export:set_preset (export_preset) then fail ("no export preset " .. export_preset) end
if not export:run_export () then fail ("the export failed") end
close_session ()
